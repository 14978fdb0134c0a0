#include "job/version_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "base/run_error.h"
#include "support/scratch.h"

namespace {

TEST(ReadProfileString, ReturnsTheValueCutTo254Characters) {
  ScratchDir scratch;
  const std::string ini = scratch / "InstallSp.ini";
  const std::string long_value = std::string(250, 'a') + "bcdefghij" + std::string(41, 'z');
  WriteBytes(ini, "[Intern]\r\nText1=Velmo Service Pack 2.1\r\nLong=" + long_value +
                      "\r\nEmpty=\r\nBlank=   \r\n");
  EXPECT_EQ(ReadProfileString("Intern", "Text1", ini), "Velmo Service Pack 2.1");
  EXPECT_EQ(ReadProfileString("Intern", "Long", ini), long_value.substr(0, 254));
  EXPECT_EQ(ReadProfileString("Intern", "Empty", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Blank", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Missing", ini), "");
  EXPECT_EQ(ReadProfileString("Extern", "Text1", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Text1", scratch / "absent.ini"), "");
  // Something there that cannot be read is no missing file.
  EXPECT_THROW(ReadProfileString("Intern", "Text1", scratch.path().string()), base::RunError);
  WriteBytes(ini, "[Intern]\r\nText1=x\r\n" + std::string(16 << 20, ';'));  // no profile
  EXPECT_THROW(ReadProfileString("Intern", "Text1", ini), base::RunError);
}

class VersionLookupTest : public testing::Test {
 protected:
  // The version for an InstallSp.ini whose Text1 is `text`.
  std::string VersionFor(const std::string& text) {
    WriteBytes(scratch_ / "InstallSp.ini", "[Intern]\r\nText1=" + text + "\r\n");
    return LookUpVersionText(scratch_.path().string());
  }

  ScratchDir scratch_;
};

TEST_F(VersionLookupTest, TakesEverythingBehindTheFirstPrefix) {
  EXPECT_EQ(VersionFor("Velmo Service Pack 2.1"), "2.1");
  EXPECT_EQ(VersionFor("Installed: Velmo Service Pack 2.1 (build 7)"), "2.1 (build 7)");
  EXPECT_EQ(VersionFor("Velmo Service Pack 1 Velmo Service Pack 2"), "1 Velmo Service Pack 2");
  EXPECT_EQ(VersionFor("Velmo Service Pack   3"), "  3");  // nothing is trimmed
  EXPECT_EQ(VersionFor("Velmo Service Pack "), "");        // the lookup drops the blank: no prefix
  EXPECT_EQ(VersionFor("\"Velmo Service Pack 4 \""), "4 ");
}

TEST_F(VersionLookupTest, WithoutThePrefixTakesTheTextFromItsNineteenthCharacter) {
  EXPECT_EQ(VersionFor("velmo service pack 2.1"), " 2.1");
  EXPECT_EQ(VersionFor("abcdefghijklmnopqrs"), "s");
  EXPECT_EQ(VersionFor("abcdefghijklmnopqr"), "");
  EXPECT_EQ(VersionFor("2.1"), "");
}

TEST_F(VersionLookupTest, FallsBackToZeroWhenThereIsNoText) {
  EXPECT_EQ(LookUpVersionText(scratch_.path().string()), "0.0");  // no file
  EXPECT_EQ(VersionFor(""), "0.0");
  WriteBytes(scratch_ / "InstallSp.ini", "[Intern]\r\nText2=Velmo Service Pack 9\r\n");
  EXPECT_EQ(LookUpVersionText(scratch_.path().string()), "0.0");
}

TEST_F(VersionLookupTest, JoinsTheDirectoryWithoutLookingAtItsEnd) {
  VersionFor("Velmo Service Pack 5");
  EXPECT_EQ(LookUpVersionText(scratch_.path().string() + "/"), "5");
}

}  // namespace
