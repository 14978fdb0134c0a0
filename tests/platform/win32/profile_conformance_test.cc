// Asks the system's profile lookup and our own reader the same questions
// over a corpus of awkward profile files; they must answer alike, so that
// InstallSp.ini means the same on every platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_syntax.h"
#include "support/scratch.h"

namespace {

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Utf16(const std::string& text, bool big_endian) {
  std::string wide = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) {
    if (big_endian) wide += '\0';
    wide += c;
    if (!big_endian) wide += '\0';
  }
  return wide;
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
      "[Intern\nText1=unclosed\n",
      "[Intern]]\nText1=double close\n",
      "[[Intern]\nText1=double open\n",
      "[]\nText1=empty section\n[Intern]\nText1=x\n",
      // Byte order marks and other bytes.
      "\xEF\xBB\xBF[Intern]\r\nText1=utf-8 bom\r\n",
      Utf16("[Intern]\r\nText1=utf-16 le\r\n", false),
      Utf16("[Intern]\r\nText1=utf-16 be\r\n", true),
      "\xEF\xBB\xBF",
      "",
      Bytes("[Intern]\nText1=nul\0after\n"),
      "[Intern]\nText1=high \xE9\xFC\x80\n",
      // Long values.
      "[Intern]\nText1=" + std::string(254, 'x') + "\n",
      "[Intern]\nText1=" + std::string(255, 'x') + "\n",
      "[Intern]\nText1=" + a300 + "\n",
  };
}

struct Question {
  const char* section;
  const char* key;
};

const Question kQuestions[] = {
    {"Intern", "Text1"}, {"intern", "TEXT1"}, {"Intern", "Text2"},
    {"Other", "Text1"},  {"Intern", "Nope"},
};

TEST(ProfileConformance, OurReaderAnswersLikeTheSystemLookup) {
  ScratchDir scratch;
  const std::vector<std::string> corpus = Corpus();
  int questions = 0;
  for (size_t i = 0; i < corpus.size(); ++i) {
    // A file name per entry: the system may cache a profile by name.
    const std::string file = scratch / ("profile" + std::to_string(i) + ".ini");
    WriteBytes(file, corpus[i]);
    for (const Question& question : kQuestions) {
      const std::string system =
          platform::LookUpProfileString(question.section, question.key, file, 255);
      const std::string ours =
          platform::FindProfileValue(corpus[i], question.section, question.key, 255);
      EXPECT_EQ(ours, system) << "file " << i << " " << testing::PrintToString(corpus[i]) << " ["
                              << question.section << "] " << question.key;
      ++questions;
    }
  }
  std::printf("%d questions over %zu files\n", questions, corpus.size());
}

}  // namespace
