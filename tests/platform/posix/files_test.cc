#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/run_error.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

TEST(Files, OnlyOrdinaryFilesExist) {
  ScratchDir scratch;
  WriteBytes(scratch / "file", "x");
  WriteBytes(scratch / "locked", "x");
  fs::permissions(scratch / "locked", fs::perms(0444));
  fs::create_directory(scratch / "dir");
  fs::create_symlink(scratch / "file", scratch / "link");
  EXPECT_TRUE(FileExists(scratch / "file"));
  EXPECT_TRUE(FileExists(scratch / "locked"));
  EXPECT_TRUE(FileExists(scratch / "link"));
  EXPECT_FALSE(FileExists(scratch / "dir"));
  EXPECT_FALSE(FileExists(scratch / "missing"));
  EXPECT_FALSE(FileExists(scratch / "file/below"));
}

TEST(Files, ReadOnlyTakesEveryWriteBitAndNormalGivesTheOwnersBack) {
  ScratchDir scratch;
  const std::string file = scratch / "file";
  WriteBytes(file, "x");
  fs::permissions(file, fs::perms(0666));
  SetReadOnlyAttributes(file);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0444));
  SetNormalAttributes(file);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
  EXPECT_THROW(SetNormalAttributes(scratch / "missing"), RunError);
}

TEST(Files, CreatesNewFilesBesideAPathWithoutTouchingWhatIsThere) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  std::string first, second;
  const FileHandle a = CreateFileBeside(list, &first);
  const FileHandle b = CreateFileBeside(list, &second);
  EXPECT_NE(first, second);
  EXPECT_EQ(fs::path(first).parent_path(), scratch.path());
  EXPECT_EQ(first.rfind(list, 0), 0u);
  CloseFile(a, first);
  CloseFile(b, second);
  // A link planted under the next name is neither followed nor replaced.
  RemoveFile(second);
  fs::create_symlink(scratch / "target", second);
  std::string third;
  CloseFile(CreateFileBeside(list, &third), third);
  EXPECT_NE(third, second);
  EXPECT_FALSE(fs::exists(scratch / "target"));
  EXPECT_TRUE(fs::is_symlink(second));
}

TEST(Files, TheNewListKeepsThePermissionsOfTheOldOne) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  WriteBytes(list, "old");
  fs::permissions(list, fs::perms(0640));
  std::string replacement;
  CloseFile(CreateFileBeside(list, &replacement), replacement);
  ReplaceKeepingBackup(replacement, list, scratch / "list.bak");
  EXPECT_EQ(fs::status(list).permissions(), fs::perms(0640));
}

TEST(Files, ErrorsNameTheOperationThePathAndTheReason) {
  ScratchDir scratch;
  try {
    RemoveFile(scratch / "missing");
    FAIL();
  } catch (const RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot delete '" + (scratch / "missing") + "': No such file or directory");
  }
  try {
    OpenForReading("Q:\\nowhere\\list.txt");
    FAIL();
  } catch (const RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot open 'Q:\\nowhere\\list.txt': No such file or directory "
              "(at /mnt/q/nowhere/list.txt)");
  }
}

}  // namespace
}  // namespace platform
