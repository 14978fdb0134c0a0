#include "platform/profile_syntax.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

// A text with the NULs that a literal holds.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Text1(const std::string& contents) {
  return FindProfileValue(contents, "Intern", "Text1", 255);
}

TEST(ProfileSyntax, MatchesNamesWithoutRegardToLetterCase) {
  EXPECT_EQ(Text1("[intern]\nTEXT1=a\n"), "a");
  EXPECT_EQ(Text1("[INTERN]\ntext1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern]\nText10=a\n"), "");
  EXPECT_EQ(Text1("[Internal]\nText1=a\n"), "");
}

TEST(ProfileSyntax, DropsBlanksAndTabsAroundNamesAndValues) {
  EXPECT_EQ(Text1("  [ \tIntern\t ]  \n \t Text1 \t=\t  a b \t \n"), "a b");
  EXPECT_EQ(Text1("[Intern]\nText1=\v\f\x1A"
                  "a\x1A\f\v\n"),
            "a");  // as Windows' isspace
  EXPECT_EQ(Text1("[Intern]\nText1=\n"), "");
  EXPECT_EQ(Text1("[Intern]\nText1 = \t \n"), "");
  EXPECT_EQ(Text1("[Intern]\nText 1=a\n"), "");
}

TEST(ProfileSyntax, RemovesOnePairOfLikeQuotesAroundTheValue) {
  EXPECT_EQ(Text1("[Intern]\nText1=\" a \"\n"), " a ");
  EXPECT_EQ(Text1("[Intern]\nText1=  'a'  \n"), "a");
  EXPECT_EQ(Text1("[Intern]\nText1=\"\"a\"\"\n"), "\"a\"");
  EXPECT_EQ(Text1("[Intern]\nText1=\"a'\n"), "\"a'");
  EXPECT_EQ(Text1("[Intern]\nText1=\"a\n"), "\"a");
  EXPECT_EQ(Text1("[Intern]\nText1=\"\n"), "\"");
  EXPECT_EQ(Text1("[Intern]\nText1=a \"b\"\n"), "a \"b\"");
}

TEST(ProfileSyntax, TakesTheFirstKeyOfTheFirstMatchingSection) {
  EXPECT_EQ(Text1("[Intern]\nText1=first\ntext1=second\n"), "first");
  EXPECT_EQ(Text1("[Other]\nText1=no\n[Intern]\nText1=yes\n[Intern]\nText1=again\n"), "yes");
  EXPECT_EQ(Text1("[Intern]\nOther=1\n[Intern]\nText1=later\n"), "");
  EXPECT_EQ(Text1("Text1=before any section\n[Intern]\n"), "");
}

TEST(ProfileSyntax, ReadsLinesWithoutEqualsAsKeysWithoutValue) {
  EXPECT_EQ(Text1("[Intern]\n  Text1  \nText1=later\n"), "");
  EXPECT_EQ(Text1("[Intern]\nText\n;Text1=x\nText1=a;b = c ; d\n"), "a;b = c ; d");
  EXPECT_EQ(Text1("[Intern]\n\n\n  \nText1==a=\n"), "=a=");
  EXPECT_EQ(Text1("[Intern] comment\nText1=a\n"), "a");  // behind "]" is no name
}

TEST(ProfileSyntax, EndsLinesAtCrLfLfOrCr) {
  EXPECT_EQ(Text1("[Intern]\r\nText1=a\r\nX=b\r\n"), "a");
  EXPECT_EQ(Text1("[Intern]\rText1=a\rX=b"), "a");
  EXPECT_EQ(Text1("[Intern]\nText1=a"), "a");
  EXPECT_EQ(Text1("[Intern]\n\rText1=a\r\n\r\n"), "a");
}

TEST(ProfileSyntax, UnderstandsByteOrderMarks) {
  EXPECT_EQ(Text1("\xEF\xBB\xBF[Intern]\nText1=a\xC3\xA9\n"), "a\xC3\xA9");
  const std::string utf16le =
      Bytes("\xFF\xFE[\0I\0n\0t\0e\0r\0n\0]\0\n\0T\0e\0x\0t\0\x31\0=\0\xE9\0\x3A\x26");
  EXPECT_EQ(Text1(utf16le), "\xE9?");
  const std::string utf16be = Bytes("\xFE\xFF\0[\0I\0n\0t\0e\0r\0n\0]\0\n\0T\0e\0x\0t\0\x31\0=\0v");
  EXPECT_EQ(Text1(utf16be), "v");
}

TEST(ProfileSyntax, KeepsEveryOtherByteOfTheValueUpToANul) {
  EXPECT_EQ(Text1("[Intern]\nText1=\x80\xFF\x01x\x7F\n"), "\x80\xFF\x01x\x7F");
  EXPECT_EQ(Text1(Bytes("[Intern]\nText1=a\0b\n")), "a");
}

TEST(ProfileSyntax, CutsValuesToTheBuffer) {
  const std::string q254(254, 'q');
  EXPECT_EQ(Text1("[Intern]\nText1=" + q254 + "z\n"), q254);
  EXPECT_EQ(FindProfileValue("[Intern]\nText1=abc\n", "Intern", "Text1", 3), "ab");
  EXPECT_EQ(FindProfileValue("[Intern]\nText1=abc\n", "Intern", "Text1", 0), "");
  // Quoted: the quote is stripped from what was copied, so text and closing
  // quote that just fill the buffer lose one character more.
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + std::string(253, 'q') + "\"\n"), std::string(253, 'q'));
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + q254 + "\"\n"), std::string(253, 'q'));
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + q254 + "q\"\n"), q254);
}

}  // namespace
}  // namespace platform
