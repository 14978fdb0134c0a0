// Runs the built program the way a setup script does and checks what it
// leaves on disk.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

const std::string kStampPrefix = "Service Pack                   (Version: ";

class TavrinTest : public testing::Test {
 protected:
  TavrinTest() : list_(scratch_ / "Software.txt"), backup_(scratch_ / "Software.bak") {
    options_.environment["Software_Txt"] = list_;
    options_.working_directory = scratch_.path().string();
  }

  // A copy of the program in a directory of its own, for an InstallSp.ini beside it.
  std::string InstallProgram(const std::string& install_sp_ini) {
    fs::create_directory(scratch_ / "bin");
    const std::string program = scratch_ / "bin/tavrin";
    fs::copy_file(TAVRIN_EXE, program);
    WriteBytes(scratch_ / "bin/InstallSp.ini", install_sp_ini);
    return program;
  }

  ProgramRun Run(const std::string& program = TAVRIN_EXE) { return RunProgram(program, options_); }

  void ExpectQuietSuccess(const ProgramRun& run) {
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "");
  }

  // Asserts that the run failed with one line on stderr that holds `words`.
  void ExpectFailure(const ProgramRun& run, const std::string& words) {
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors.rfind("tavrin: ", 0), 0u) << run.errors;
    EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
    EXPECT_NE(run.errors.find(words), std::string::npos) << run.errors;
  }

  ScratchDir scratch_;
  const std::string list_;
  const std::string backup_;
  ProgramOptions options_;
};

TEST_F(TavrinTest, FirstAndSecondRunWithoutProfile) {
  ExpectQuietSuccess(Run());
  const std::string first = ReadBytes(list_);
  EXPECT_EQ(first, kStampPrefix + "0.0)\r\n");
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_FALSE(fs::exists(backup_));

  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list_), first);
  EXPECT_EQ(ReadBytes(backup_), first);
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_FALSE(IsReadOnly(backup_));
}

TEST_F(TavrinTest, ReadsTheProfileBesideTheProgramOnly) {
  const std::string program = InstallProgram("[Intern]\r\nText1=Velmo Service Pack 2.1\r\n");
  WriteBytes(scratch_ / "InstallSp.ini", "[Intern]\r\nText1=Velmo Service Pack 9.9\r\n");
  WriteBytes(list_, "Tools\r\nService Pack (Version: 1.0)\r\nVisu\r\n");
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + kStampPrefix + "2.1)\r\nVisu\r\n");
  EXPECT_EQ(ReadBytes(backup_), "Tools\r\nService Pack (Version: 1.0)\r\nVisu\r\n");
}

TEST_F(TavrinTest, ResolvesReferencesInOverrides) {
  fs::create_directory(scratch_ / "sp");
  options_.environment["Software_Txt"] = "$SERVICEPACKDIR$/list.txt";
  options_.environment["ServicePackDir"] = scratch_ / "sp";
  options_.environment["VisuDir"] = "";
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(scratch_ / "sp/list.txt"), kStampPrefix + "0.0)\r\n");
}

TEST_F(TavrinTest, FailsLoudlyAndTouchesNothingOnABadSetting) {
  WriteBytes(list_, "keep\r\n");
  options_.environment["Software_Txt"] = "$VisuDir$";
  options_.environment["VisuDir"] = "$Software_Txt$";
  ExpectFailure(Run(), "refers back to itself");
  EXPECT_EQ(ReadBytes(list_), "keep\r\n");

  options_.environment["Software_Txt"] = scratch_ / "no/such/dir/list.txt";
  ExpectFailure(Run(), "no/such/dir/list.txt");
  EXPECT_EQ(fs::directory_iterator(scratch_.path())->path(), fs::path(list_));
}

TEST_F(TavrinTest, UsesDriveCOnTheWslMountByDefault) {
  if (fs::exists("/mnt/c")) GTEST_SKIP() << "/mnt/c exists; not touching it";
  options_.environment.erase("Software_Txt");
  ExpectFailure(Run(), "'C:\\Software.txt'");
  ProgramRun run = Run();
  EXPECT_NE(run.errors.find("(at /mnt/c/Software.txt)"), std::string::npos) << run.errors;
}

TEST_F(TavrinTest, AFileSizeLimitFailsTheRunAndKeepsTheList) {
  const std::string old_list = std::string(2 << 20, 'x') + "\r\n";
  WriteBytes(list_, old_list);
  options_.file_size_limit = 1 << 20;
  ExpectFailure(Run(), "cannot write");
  EXPECT_EQ(ReadBytes(list_), old_list);
  EXPECT_FALSE(fs::exists(backup_));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 1);
}

}  // namespace
