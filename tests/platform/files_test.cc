#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/run_error.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// Writes `text` into a new file beside `path` and returns the file's path.
std::string NewFileBeside(const std::string& path, const std::string& text) {
  std::string created;
  const FileHandle file = CreateFileBeside(path, &created);
  WriteAll(file, text.data(), text.size(), created);
  SyncToDisk(file, created);
  CloseFile(file, created);
  return created;
}

TEST(Files, ReplaceKeepsTheOldFileAsBackupAndMoveFillsAnEmptyPlace) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt", backup = scratch / "list.bak";
  WriteBytes(list, "old");
  const std::string replacement = NewFileBeside(list, "new");
  EXPECT_EQ(fs::path(replacement).parent_path(), scratch.path());
  ReplaceKeepingBackup(replacement, list, backup);
  EXPECT_EQ(ReadBytes(list), "new");
  EXPECT_EQ(ReadBytes(backup), "old");
  EXPECT_FALSE(fs::exists(replacement));

  const std::string other = scratch / "other.txt";
  MoveIntoPlace(NewFileBeside(other, "fresh"), other);
  EXPECT_EQ(ReadBytes(other), "fresh");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 3);
}

// The backup's way on volumes without hard links.
TEST(Files, CopiesDurablyOnlyWhereNothingIs) {
  ScratchDir scratch;
  const std::string from = scratch / "from", to = scratch / "to";
  std::string big;
  for (int i = 0; i < 50000; ++i) big += "line " + std::to_string(i) + "\r\n";
  WriteBytes(from, big);
  CopyFileDurably(from, to);
  EXPECT_EQ(ReadBytes(to), big);

  EXPECT_THROW(CopyFileDurably(from, to), RunError);  // never over an existing file
  EXPECT_EQ(ReadBytes(to), big);
  EXPECT_THROW(CopyFileDurably(scratch / "missing", scratch / "new"), RunError);
  EXPECT_FALSE(fs::exists(scratch / "new"));
  EXPECT_THROW(CreateNewFile(from), RunError);
}

}  // namespace
}  // namespace platform
