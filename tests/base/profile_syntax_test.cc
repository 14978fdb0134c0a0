// Each rule names where Windows was seen to follow it: a test of the MSTest
// suite that calls kernel32 on Windows 10 (github.com/WelliSolutions/
// IniFileFormatReverseEngineering, source/tests/IniFileFormatTests/Tests/),
// or one of Wine's dlls/kernel32/tests/profile.c that passes on Windows.
#include "base/profile_syntax.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

// A text with the NULs that a literal holds.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Text1(const std::string& contents) {
  return FindProfileValue(contents, "Intern", "Text1", 255);
}

// SquareBracket_Tests:
//   Given_ASectionNameWithClosingBracket_When_TheContentIsAccessed_Then_WeDontGetTheValue
//     ("read parsing stops at first ]")
//   Given_KeyValueBehindClosingSquareBracket_When_WeTryToAccessTheValue_Then_WeDontGetTheValue
//   Given_ASectionParameterWithOpeningBracket_When_TheValueIsRead_Then_WeGetTheExpectedValue
//   Given_ASectionNameWithMissingOpeningBracket_When_WeAccessAKey_Then_WeDontGetTheValue
// Abuse_Tests:
//   Given_ASectionNameWithAnotherSectionName_When_TheContentIsAccessed_Then_TheSecondSectionIsIgnored
TEST(ProfileSyntax, EndsASectionNameAtTheFirstClosingBracket) {
  EXPECT_EQ(Text1("[Intern]]\nText1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern][Other]\nText1=a\n"), "a");
  EXPECT_EQ(FindProfileValue("[Intern][Other]\nText1=a\n", "Other", "Text1", 255), "");
  EXPECT_EQ(Text1("[Intern] comment\nText1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern]Text1=a\n"), "");
  EXPECT_EQ(FindProfileValue("[[Intern]\nText1=a\n", "[Intern", "Text1", 255), "a");
  EXPECT_EQ(Text1("[[Intern]\nText1=a\n"), "");
  EXPECT_EQ(Text1("Intern]\nText1=a\n"), "");
}

// SquareBracket_Tests:
//   Given_ASectionNameWithMissingClosingBracket_When_WeAccessAKey_Then_WeGetTheValue
//     ("the closing square bracket is not needed")
TEST(ProfileSyntax, TakesAHeaderWithoutClosingBracketToTheLineEnd) {
  EXPECT_EQ(Text1("[Intern\nText1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern   \r\nText1=a\r\n"), "a");
  EXPECT_EQ(Text1("[Intern x\nText1=a\n"), "");
  EXPECT_EQ(Text1("[Other\nText1=b\n[Intern\nText1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern]\nOther=1\n[Other\nText1=b\n"), "");
}

// UTF8_Tests:
//   Given_AFileWithUTF8BOM_When_ReadingTheContent_Then_TheFirstLineIsBroken
TEST(ProfileSyntax, ReadsAUtf8MarkAsPartOfTheFirstLine) {
  EXPECT_EQ(Text1("\xEF\xBB\xBF[Intern]\r\nText1=a\r\n"), "");
  EXPECT_EQ(Text1("\xEF\xBB\xBF[Other]\r\nX=1\r\n[Intern]\r\nText1=a\xC3\xA9\r\n"), "a\xC3\xA9");
  EXPECT_EQ(Text1("\xEF\xBB\xBF\r\n[Intern]\r\nText1=a\r\n"), "a");
}

// UTF16LE_Tests:
//   Given_AFileWithUTF16BOM_When_ReadingTheContent_Then_WeHaveUnicodeSupport
// UTF16BE_Tests:
//   Given_UTF16BEBOM_When_ReadingTheContent_Then_WeGetTheDefaultValue
//   Given_UTF16BEBOMAndLineBreak_When_ReadingTheContent_Then_WeGetTheDefaultValue
TEST(ProfileSyntax, UnderstandsTheUtf16LittleEndianMarkOnly) {
  const std::string utf16le =
      Bytes("\xFF\xFE[\0I\0n\0t\0e\0r\0n\0]\0\n\0T\0e\0x\0t\0\x31\0=\0\xE9\0\x3A\x26");
  EXPECT_EQ(Text1(utf16le), "\xE9?");
  EXPECT_EQ(Text1(Bytes("\xFE\xFF\0[\0I\0n\0t\0e\0r\0n\0]\0\n\0T\0e\0x\0t\0\x31\0=\0v")), "");
  EXPECT_EQ(Text1(Bytes("\xFE\xFF\0\r\0\n\0[\0I\0n\0t\0e\0r\0n\0]\0\n\0T\0e\0x\0t\0\x31\0=\0v")),
            "");
}

// Casing_Tests:
//   Given_AnSectionWithUpperCaseLetters_When_TheContentIsAccessedWithLowerCase_Then_WeGetTheExpectedValue
//   Given_AnEntryWithUpperCaseLetter_When_TheContentIsAccessedWithLowerCase_Then_WeGetTheExpectedValue
TEST(ProfileSyntax, MatchesNamesWithoutRegardToLetterCase) {
  EXPECT_EQ(Text1("[intern]\nTEXT1=a\n"), "a");
  EXPECT_EQ(Text1("[INTERN]\ntext1=a\n"), "a");
  EXPECT_EQ(Text1("[Intern]\nText10=a\n"), "");
  EXPECT_EQ(Text1("[Internal]\nText1=a\n"), "");
}

// WhiteSpace_Tests:
//   Given_AValueWithWhitespace_When_TheValueIsRead_Then_WhitespaceIsStripped
//   Given_AKeyWithSpacesBeforeAndAfter_When_TheValueIsRead_Then_TheWhitespacesAreStripped
//   Given_ASectionNameWithWhitespacesBeforeTheBracket_When_TheValueIsRead_Then_TheWhitespaceIsIgnored
//   Given_ASectionNameWithWhitespacesWithinTheBracket_When_TheValueIsRead_Then_TheWhitespaceIsIgnored
TEST(ProfileSyntax, DropsBlanksAndTabsAroundNamesAndValues) {
  EXPECT_EQ(Text1("  [ \tIntern\t ]  \n \t Text1 \t=\t  a b \t \n"), "a b");
  EXPECT_EQ(Text1("\v[\vIntern\v]\n\vText1\v=\va\v\n"), "a");
  EXPECT_EQ(Text1("[Intern]\nText1=\n"), "");
  EXPECT_EQ(Text1("[Intern]\nText1 = \t \n"), "");
  EXPECT_EQ(Text1("[Intern]\nText 1=a\n"), "");
}

// Quotes_Tests: all five Given_AValueWith..._When_TheValueIsRetrieved_Then_...
// Wine: test_GetPrivateProfileString ("name2").
TEST(ProfileSyntax, RemovesOnePairOfLikeQuotesAroundTheValue) {
  EXPECT_EQ(Text1("[Intern]\nText1=\" a \"\n"), " a ");
  EXPECT_EQ(Text1("[Intern]\nText1=  'a'  \n"), "a");
  EXPECT_EQ(Text1("[Intern]\nText1=\"\"a\"\"\n"), "\"a\"");
  EXPECT_EQ(Text1("[Intern]\nText1=\"a'\n"), "\"a'");
  EXPECT_EQ(Text1("[Intern]\nText1='\"a'\"\n"), "'\"a'\"");
  EXPECT_EQ(Text1("[Intern]\nText1=\"a\n"), "\"a");
  EXPECT_EQ(Text1("[Intern]\nText1=\"\n"), "\"");
  EXPECT_EQ(Text1("[Intern]\nText1=a \"b\"\n"), "a \"b\"");
}

// Reading_Tests:
//   Given_AnIniFileWithDuplicateKeys_When_TheKeyIsRead_Then_WeGetTheFirstOccurrence
//   Given_AnIniFileWithDuplicateSections_When_TheKeyIsRead_Then_OnlyTheFirstSectionIsConsidered
// SquareBracket_Tests:
//   Given_AValueWithoutAnySection_When_WeTryToAccessIt_Then_WeDontGetTheValue
// Wine: test_profile_string ("val_e_section").
TEST(ProfileSyntax, TakesTheFirstKeyOfTheFirstMatchingSection) {
  EXPECT_EQ(Text1("[Intern]\nText1=first\ntext1=second\n"), "first");
  EXPECT_EQ(Text1("[Other]\nText1=no\n[Intern]\nText1=yes\n[Intern]\nText1=again\n"), "yes");
  EXPECT_EQ(Text1("[Intern]\nOther=1\n[Intern]\nText1=later\n"), "");
  EXPECT_EQ(Text1("Text1=before any section\n[Intern]\n"), "");
  EXPECT_EQ(FindProfileValue("Text1=a\n[]\nText1=b\n", "", "Text1", 255), "b");
}

// Semicolon_Tests:
//   Given_AnIniFileWrittenWithSemicolonInValue_When_TheValueIsRead_Then_WeGetTheSemicolon
// Encoding_Tests:
//   Given_AnIniFileWithUnicodeContent_When_TheContentIsAccessed_Then_WeGetTheExpectedValue_ByteArrayAnsi_ConvertManually_NoBOM
//     ("The parser will simply read bytes")
TEST(ProfileSyntax, KeepsEveryOtherByteOfTheValue) {
  EXPECT_EQ(Text1("[Intern]\nText\n;Text1=x\nText1=a;b = c ; d\n"), "a;b = c ; d");
  EXPECT_EQ(Text1("[Intern]\n\n\n  \nText1==a=\n"), "=a=");
  EXPECT_EQ(Text1("[Intern]\nText1=\x80\xFF\x01x\x7F\n"), "\x80\xFF\x01x\x7F");
}

// Wine: test_GetPrivateProfileString ("CR+LF", "CR only"), test_profile_delete_on_close (LF).
TEST(ProfileSyntax, EndsLinesAtCrLfLfOrCr) {
  EXPECT_EQ(Text1("[Intern]\r\nText1=a\r\nX=b\r\n"), "a");
  EXPECT_EQ(Text1("[Intern]\rText1=a\rX=b"), "a");
  EXPECT_EQ(Text1("[Intern]\nText1=a"), "a");
  EXPECT_EQ(Text1("[Intern]\n\rText1=a\r\n\r\n"), "a");
}

// Reading_Tests:
//   Given_ASmallBuffer_When_WeTryToGetTheValue_Then_TheValueIsTruncated
//   Given_AZeroBuffer_When_WeTryToGetTheValue_Then_NothingCanBeReturned
TEST(ProfileSyntax, CutsValuesToTheBuffer) {
  const std::string q254(254, 'q');
  EXPECT_EQ(Text1("[Intern]\nText1=" + q254 + "z\n"), q254);
  EXPECT_EQ(FindProfileValue("[Intern]\nText1=abc\n", "Intern", "Text1", 3), "ab");
  EXPECT_EQ(FindProfileValue("[Intern]\nText1=abc\n", "Intern", "Text1", 0), "");
}

// As Wine does; not confirmed on Windows.
TEST(ProfileSyntax, FollowsWineWhereWindowsIsUnknown) {
  // Form feed and Ctrl-Z are blanks.
  EXPECT_EQ(Text1("[Intern]\nText1=\f\x1A"
                  "a\x1A\f\n"),
            "a");
  // A NUL ends the value.
  EXPECT_EQ(Text1(Bytes("[Intern]\nText1=a\0b\n")), "a");
  // A bare key hides a later line of it.
  EXPECT_EQ(Text1("[Intern]\n  Text1  \nText1=later\n"), "");
  // The quote is stripped from what was copied, so text and closing quote
  // that just fill the buffer lose one character more.
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + std::string(253, 'q') + "\"\n"), std::string(253, 'q'));
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + std::string(254, 'q') + "\"\n"), std::string(253, 'q'));
  EXPECT_EQ(Text1("[Intern]\nText1=\"" + std::string(255, 'q') + "\"\n"), std::string(254, 'q'));
}

}  // namespace
}  // namespace base
