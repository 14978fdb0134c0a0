#include "job/version_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scratch.h"

namespace {

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
