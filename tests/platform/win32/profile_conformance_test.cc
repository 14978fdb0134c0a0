// Asks the system's profile lookup and our own reader, which reads the file
// itself on every platform, the same questions over a corpus of awkward
// profile files; they must answer alike, so that InstallSp.ini means to us
// what it means to Windows. Our reader follows Windows; where Wine, which
// runs these tests here, answers otherwise, the file is a listed divergence
// with both answers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/ascii_case.h"
#include "job/version_lookup.h"
#include "support/scratch.h"
#include "support/win32/wine.h"

namespace {

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string wide = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    wide += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return wide;
}

// The system's answer; an empty default, for Windows gives an all-blank
// default back as the empty text, but Wine gives back one blank.
std::string SystemLookUp(const char* section, const char* key, const std::string& file) {
  char buffer[255];
  const DWORD count =
      GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file.c_str());
  return std::string(buffer, count);
}

std::vector<std::string> Corpus() {
  const std::string a300(300, 'a');
  return {
      // Line ends.
      "[Intern]\r\nText1=crlf\r\nText2=b\r\n",
      "[Intern]\nText1=lf\nText2=b\n",
      "[Intern]\rText1=cr\rText2=b\r",
      "[Intern]\rText1=cr then lf\nText2=b\r\n",
      "[Intern]\r\n\r\n\n\rText1=blank lines\r\n",
      "[Intern]\nText1=no end",
      // Blanks and tabs.
      "  [ Intern ]  \n  Text1  =  spaced  \n",
      "\t[\tIntern\t]\t\n\tText1\t=\tvalue\twith\ttabs\t\n",
      "[Intern]\nText 1=inner blank\nText1 = x y \n",
      "[Intern]\nText1=\x0b\x0cvt ff\x0b\x0c\n",
      "[Intern]\nText1=\x1a"
      "ctrl-z\x1a\n",
      "[Intern]\nText1=   \n",
      // Quotes.
      "[Intern]\nText1=\"quoted\"\n",
      "[Intern]\nText1='single'\n",
      "[Intern]\nText1=\" padded \"\n",
      "[Intern]\nText1=  \"outer blanks\"  \n",
      "[Intern]\nText1=\"mixed'\n",
      "[Intern]\nText1=\"\n",
      "[Intern]\nText1=\"\"\n",
      "[Intern]\nText1=\"a\"b\"\n",
      "[Intern]\nText1=a \"b\"\n",
      "[Intern]\nText1=\"" + std::string(253, 'q') + "\"\n",
      "[Intern]\nText1=\"" + std::string(254, 'q') + "\"\n",
      "[Intern]\nText1=\"" + std::string(255, 'q') + "\"\n",
      "[Intern]\nText1=\"" + a300 + "\"\n",
      // Comments and lines without "=".
      "[Intern]\n;Text1=commented\nText1=real\n",
      "[Intern]\n# Text1=hash\nText1=after hash\n",
      "[Intern]\nText1=value ; not a comment\n",
      "[Intern]\nText1\nText1=after bare key\n",
      "[Intern]\nText1\n",
      "[Intern]\n=no name\nText1==double=\n",
      "Text1=before any section\n[Intern]\nText2=x\n",
      // Sections and duplicates.
      "[Other]\nText1=other\n[Intern]\nText1=intern\n",
      "[Intern]\nText2=x\n[Intern]\nText1=second section\n",
      "[Intern]\nText1=first\nText1=second\n",
      "[INTERN]\ntext1=upper and lower\n",
      "[Intern] trailing\nText1=trailing text\n",
      "[[Intern]\nText1=double open\n",
      "[]\nText1=empty section\n[Intern]\nText1=x\n",
      // Byte order marks and other bytes.
      Utf16(u"[Intern]\r\nText1=utf-16 le\r\n", false),
      // Narrowed to the ANSI code page: best fit, "?"; a full-width "=" is
      // no "=" before the value is narrowed.
      Utf16(u"[Intern]\r\nText1\uFF1Dfull width\r\nText1=\u00E9\u20AC\u0101\u263A\r\n", false),
      "\xEF\xBB\xBF",
      "\xEF\xBB\xBF[First]\r\nText1=x\r\n[Intern]\r\nText1=behind a utf-8 bom\r\n",
      "",
      Bytes("[Intern]\nText1=nul\0after\n"),
      "[Intern]\nText1=high \xE9\xFC\x80\n",
      // Long values.
      "[Intern]\nText1=" + std::string(254, 'x') + "\n",
      "[Intern]\nText1=" + std::string(255, 'x') + "\n",
      "[Intern]\nText1=" + a300 + "\n",
  };
}

// A file on which Wine's lookup and Windows' answer Text1 of Intern
// differently, with the test on Windows 10 that shows Windows' answer (see
// profile_syntax_test.cc) and the answer of each Wine version these tests
// know. Other questions they answer alike.
struct Divergence {
  std::string contents;
  std::string windows;
  std::string wine8;
  std::string wine10;
  const char* evidence;
};

std::vector<Divergence> Divergences() {
  return {
      {"[Intern]]\nText1=double close\n", "double close", "", "",
       "SquareBracket_Tests: a section name ends at the first ]"},
      {"[Intern\nText1=unclosed\n", "unclosed", "", "",
       "SquareBracket_Tests: the closing square bracket is not needed"},
      {"\xEF\xBB\xBF[Intern]\r\nText1=utf-8 bom\r\n", "", "utf-8 bom", "utf-8 bom",
       "UTF8_Tests: a UTF-8 mark breaks the first line"},
      {Utf16(u"[Intern]\r\nText1=utf-16 be\r\n", true), "", "utf-16 be", "utf-16 be",
       "UTF16BE_Tests: UTF-16 big-endian is not understood"},
  };
}

// The system's answer to a divergence: Windows', or that of the running
// Wine. A Wine whose answers are not known yet has none: its answers must be
// looked at and added, not taken on trust.
const std::string* SystemAnswer(const Divergence& divergence, const std::string& wine_version) {
  if (wine_version.empty()) return &divergence.windows;
  const std::string major = wine_version.substr(0, wine_version.find('.'));
  if (major == "8") return &divergence.wine8;
  if (major == "10") return &divergence.wine10;
  return nullptr;
}

struct Question {
  const char* section;
  const char* key;
};

const Question kQuestions[] = {
    {"Intern", "Text1"}, {"intern", "TEXT1"}, {"Intern", "Text2"},
    {"Other", "Text1"},  {"Intern", "Nope"},
};

bool AsksText1OfIntern(const Question& question) {
  return base::EqualIgnoringAsciiCase(question.section, "Intern") &&
         base::EqualIgnoringAsciiCase(question.key, "Text1");
}

TEST(ProfileConformance, OurReaderAnswersLikeTheSystemLookup) {
  ScratchDir scratch;
  const std::string wine_version = WineVersion();
  std::vector<std::string> files = Corpus();
  const std::vector<Divergence> divergences = Divergences();
  ASSERT_NE(SystemAnswer(divergences[0], wine_version), nullptr)
      << "Wine " << wine_version << ": its answers to the divergences are not known";
  for (const Divergence& divergence : divergences) files.push_back(divergence.contents);
  const size_t first_divergence = files.size() - divergences.size();
  int questions = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    // A file name per entry: the system may cache a profile by name.
    const std::string file = scratch / ("profile" + std::to_string(i) + ".ini");
    WriteBytes(file, files[i]);
    for (const Question& question : kQuestions) {
      const std::string system = SystemLookUp(question.section, question.key, file);
      const std::string ours = ReadProfileString(question.section, question.key, file);
      const std::string where = "file " + std::to_string(i) + " " +
                                testing::PrintToString(files[i]) + " [" + question.section + "] " +
                                question.key;
      if (i >= first_divergence && AsksText1OfIntern(question)) {
        const Divergence& divergence = divergences[i - first_divergence];
        EXPECT_EQ(ours, divergence.windows) << where << "; " << divergence.evidence;
        EXPECT_EQ(system, *SystemAnswer(divergence, wine_version))
            << where << "; " << divergence.evidence << "; Wine " << wine_version;
      } else {
        EXPECT_EQ(ours, system) << where;
      }
      ++questions;
    }
  }
  std::printf("%d questions over %zu files, %zu of them divergences%s\n", questions, files.size(),
              divergences.size(), wine_version.empty() ? "" : (", Wine " + wine_version).c_str());
}

}  // namespace
