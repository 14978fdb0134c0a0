#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/run_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST_F(TavrinRunTest, FirstAndSecondRunWithoutProfile) {
  ExpectQuietSuccess(Run());
  const std::string first = ReadBytes(list_);
  EXPECT_EQ(first, StampFor("0.0") + "\r\n");
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_FALSE(fs::exists(backup_));

  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list_), first);
  EXPECT_EQ(ReadBytes(backup_), first);
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_FALSE(IsReadOnly(backup_));
}

TEST_F(TavrinRunTest, ReadsTheProfileBesideTheProgramOnly) {
  const std::string program = InstallProgram("[Intern]\r\nText1=Velmo Service Pack 2.1\r\n");
  WriteBytes(scratch_ / "InstallSp.ini", "[Intern]\r\nText1=Velmo Service Pack 9.9\r\n");
  WriteBytes(list_, "Tools\r\nService Pack (Version: 1.0)\r\nVisu\r\n");
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + StampFor("2.1") + "\r\nVisu\r\n");
  EXPECT_EQ(ReadBytes(backup_), "Tools\r\nService Pack (Version: 1.0)\r\nVisu\r\n");
}

TEST_F(TavrinRunTest, StampsAUtf16ListInUtf16) {
  const std::string old_list =
      "\xFF\xFE" + Utf16Bytes(u"Velmo Base 4.0\r\nService Pack 1\r\nTools 1.2\r\n");
  WriteBytes(list_, old_list);
  ExpectQuietSuccess(Run());
  const std::string stamp = StampFor("0.0");
  EXPECT_EQ(ReadBytes(list_), "\xFF\xFE" + Utf16Bytes(u"Velmo Base 4.0\r\n" +
                                                      std::u16string(stamp.begin(), stamp.end()) +
                                                      u"\r\nTools 1.2\r\n"));
  EXPECT_EQ(ReadBytes(backup_), old_list);
}

TEST_F(TavrinRunTest, ResolvesReferencesInOverrides) {
  fs::create_directory(scratch_.path() / "sp");
  options_.environment["Software_Txt"] = "$SERVICEPACKDIR$\\list.txt";
  options_.environment["ServicePackDir"] = scratch_ / "sp";
  options_.environment["VisuDir"] = "";
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes((scratch_.path() / "sp" / "list.txt").string()), StampFor("0.0") + "\r\n");
}

TEST_F(TavrinRunTest, FailsLoudlyAndTouchesNothingOnABadSetting) {
  WriteBytes(list_, "keep\r\n");
  options_.environment["Software_Txt"] = "$VisuDir$";
  options_.environment["VisuDir"] = "$Software_Txt$";
  ExpectFailure(Run(), "refers back to itself");
  EXPECT_EQ(ReadBytes(list_), "keep\r\n");

  options_.environment["Software_Txt"] = scratch_ / "no_such_dir" + "\\list.txt";
  ExpectFailure(Run(), "no_such_dir");
  EXPECT_EQ(EntriesInScratch(), 1u);
}

}  // namespace
