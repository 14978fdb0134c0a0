#include "platform/temp_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/run_error.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// A temp file beside `target` holding `text`, ready to be kept.
TempFile WrittenBeside(const std::string& target, const std::string& text) {
  TempFile file = TempFile::CreateBeside(target, "file");
  file.Append(text.data(), text.size());
  file.Sync();
  return file;
}

TEST(TempFile, ReplacesKeepingTheOldFileAsBackupOrTakesAnEmptyPlace) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt", backup = scratch / "list.bak";
  WriteBytes(list, "old");
  TempFile replacement = WrittenBeside(list, "new");
  EXPECT_EQ(fs::path(replacement.path()).parent_path(), scratch.path());
  replacement.KeepReplacing(backup);
  EXPECT_EQ(ReadBytes(list), "new");
  EXPECT_EQ(ReadBytes(backup), "old");
  EXPECT_FALSE(fs::exists(replacement.path()));

  const std::string other = scratch / "other.txt";
  WrittenBeside(other, "fresh").KeepAsTarget();
  EXPECT_EQ(ReadBytes(other), "fresh");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 3);
}

// The backup's way on volumes without hard links.
TEST(TempFile, CopiesDurablyInOneStepInPlaceOfWhatIsThere) {
  ScratchDir scratch;
  const std::string from = scratch / "from", to = scratch / "to";
  std::string big;
  for (int i = 0; i < 50000; ++i) big += "line " + std::to_string(i) + "\r\n";
  WriteBytes(from, big);
  CopyFileDurably(from, to);
  EXPECT_EQ(ReadBytes(to), big);

  WriteBytes(from, "newer");
  CopyFileDurably(from, to);  // over the earlier copy
  EXPECT_EQ(ReadBytes(to), "newer");
  EXPECT_THROW(CopyFileDurably(scratch / "missing", to), base::RunError);
  EXPECT_EQ(ReadBytes(to), "newer");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 2);
  EXPECT_TRUE(IsNameTaken(File::TryCreate(from).code));  // never over an existing file
}

TEST(TempFile, StaleFilesGoButLiveOnesAndOthersStay) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  WriteBytes(scratch / "~tavrin-4194303.tmp", "left by a killed run");
  WriteBytes(scratch / "~tavrin-4194302-2.tmp", "left by a killed run");
  WriteBytes(scratch / "~tavrin-notes.tmp", "not ours");
  WriteBytes(scratch / "~tavrin-9999999999.tmp", "not ours: no process id");
  WriteBytes(scratch / "~tavrin-4194301.tmp", "a list named like a temp file");
  RemoveStaleTempFilesBeside({scratch / "~tavrin-4194301.tmp"});
  EXPECT_TRUE(fs::exists(scratch / "~tavrin-4194301.tmp"));
  fs::create_directory(scratch / "backups");
  WriteBytes(scratch / "backups/~tavrin-4194300.tmp", "left beside a backup");
  TempFile live = TempFile::CreateBeside(list, "file");
  RemoveStaleTempFilesBeside({list, scratch / "backups/list.bak"});
  EXPECT_FALSE(fs::exists(scratch / "backups/~tavrin-4194300.tmp"));
  EXPECT_FALSE(fs::exists(scratch / "~tavrin-4194303.tmp"));
  EXPECT_FALSE(fs::exists(scratch / "~tavrin-4194302-2.tmp"));
  EXPECT_TRUE(fs::exists(scratch / "~tavrin-notes.tmp"));
  EXPECT_TRUE(fs::exists(scratch / "~tavrin-9999999999.tmp"));
  EXPECT_TRUE(fs::exists(live.path()));
}

}  // namespace
}  // namespace platform
