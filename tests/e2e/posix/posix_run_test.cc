#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/run_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST_F(TavrinRunTest, UsesDriveCOnTheWslMountByDefault) {
  if (fs::exists("/mnt/c")) GTEST_SKIP() << "/mnt/c exists; not touching it";
  options_.environment.erase("Software_Txt");
  const ProgramRun run = Run();
  ExpectFailure(run, "'C:\\Software.txt'");
  EXPECT_NE(run.errors.find("(at /mnt/c/Software.txt)"), std::string::npos) << run.errors;
}

TEST_F(TavrinRunTest, AFileSizeLimitFailsTheRunAndKeepsTheList) {
  const std::string old_list = std::string(2 << 20, 'x') + "\r\n";
  WriteBytes(list_, old_list);
  options_.file_size_limit = 1 << 20;
  ExpectFailure(Run(), "cannot write");
  EXPECT_EQ(ReadBytes(list_), old_list);
  EXPECT_FALSE(fs::exists(backup_));
  EXPECT_EQ(EntriesInScratch(), 1u);
}

}  // namespace
