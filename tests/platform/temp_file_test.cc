#include "platform/temp_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/run_error.h"
#include "platform/process.h"
#include "support/processes.h"
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

TEST(TempFile, TakesItsTargetsPlaceAndTheOldFileStaysUnderASecondNameOrAsACopy) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt", backup = scratch / "list.bak";
  const std::string copy = scratch / "copy.bak";
  WriteBytes(list, "old");
  WriteBytes(backup, "stale");
  const FileIdentity old = *IdentityOf(list);
  EXPECT_TRUE(GiveSecondNameOrCopy(list, old, backup, "file", false));
  EXPECT_EQ(IdentityOf(backup), IdentityOf(list));
  EXPECT_TRUE(GiveSecondNameOrCopy(list, old, backup, "file", false));  // already a name of it
  EXPECT_TRUE(GiveSecondNameOrCopy(list, old, copy, "file", true));
  EXPECT_NE(IdentityOf(copy), IdentityOf(list));
  TempFile replacement = WrittenBeside(list, "new");
  EXPECT_EQ(fs::path(replacement.path()).parent_path(), scratch.path());
  const FileFacts facts = File::OpenForReading(list).Facts();
  replacement.TakeRights(&facts, kRenamesReadOnlyFiles);
  replacement.KeepAs(list);
  if (!kRenamesReadOnlyFiles) SetReadOnly(list, true);
  EXPECT_EQ(ReadBytes(list), "new");
  EXPECT_TRUE(IsReadOnly(list));
  EXPECT_EQ(ReadBytes(backup), "old");
  EXPECT_EQ(ReadBytes(copy), "old");
  EXPECT_FALSE(fs::exists(replacement.path()));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 3);
}

// The backup's way on volumes without hard links.
TEST(TempFile, CopiesDurablyInOneStepInPlaceOfWhatIsThere) {
  ScratchDir scratch;
  const std::string from = scratch / "from", to = scratch / "to";
  std::string big;
  for (int i = 0; i < 50000; ++i) big += "line " + std::to_string(i) + "\r\n";
  WriteBytes(from, big);
  EXPECT_TRUE(GiveSecondNameOrCopy(from, *IdentityOf(from), to, "file", true));
  EXPECT_EQ(ReadBytes(to), big);

  WriteBytes(from, "newer");
  const FileIdentity newer = *IdentityOf(from);
  EXPECT_TRUE(GiveSecondNameOrCopy(from, newer, to, "file", true));  // over the earlier copy
  EXPECT_EQ(ReadBytes(to), "newer");
  // Nothing there, or another file there by now: `to` stays as it was.
  EXPECT_FALSE(GiveSecondNameOrCopy(scratch / "missing", newer, to, "file", true));
  EXPECT_FALSE(GiveSecondNameOrCopy(scratch / "missing", newer, to, "file", false));
  fs::rename(from, scratch / "kept");  // kept, so that its number is not reused
  WriteBytes(from, "another");
  EXPECT_FALSE(GiveSecondNameOrCopy(from, newer, to, "file", true));
  EXPECT_FALSE(GiveSecondNameOrCopy(from, newer, to, "file", false));
  EXPECT_EQ(ReadBytes(to), "newer");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 3);
  EXPECT_TRUE(IsNameTaken(File::TryCreate(from).code));  // never over an existing file
}

TEST(TempFile, StaleFilesGoButLiveOnesAndOthersStay) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  const std::string own = std::to_string(CurrentProcessId());
  const std::string live = std::to_string(AnotherLiveProcessId());
  WriteBytes(scratch / "~tavrin-4194303.tmp", "left by a killed run");
  WriteBytes(scratch / "~tavrin-4194302-2.tmp", "left by a killed run");
  WriteBytes(scratch / ("~tavrin-" + own + "-7.tmp"), "left by a killed run with this id");
  // Names that CreateBeside never makes, and the file of a live run
  // between two steps, holding nothing.
  const std::vector<std::string> others = {"~tavrin-notes.tmp",      "~tavrin-9999999999.tmp",
                                           "~tavrin-2024-01-15.tmp", "~tavrin-0.tmp",
                                           "~tavrin-99999--.tmp",    "~tavrin-042.tmp",
                                           "~tavrin-4194303-0.tmp",  "~tavrin-4194303-101.tmp",
                                           "~tavrin-4194303-07.tmp", "~tavrin-" + live + ".tmp"};
  for (const std::string& name : others) WriteBytes(scratch / name, "not stale");
  WriteBytes(scratch / "~tavrin-4194301.tmp", "a list named like a temp file");
  const std::string list_like_temp = scratch / "~tavrin-4194301.tmp";
  RemoveStaleTempFilesBeside({{list_like_temp, LookAt(list_like_temp)}});
  EXPECT_TRUE(fs::exists(scratch / "~tavrin-4194301.tmp"));
  fs::create_directory(scratch / "backups");
  WriteBytes(scratch / "backups/~tavrin-4194300.tmp", "left beside a backup");
  TempFile held = TempFile::CreateBeside(list, "file");  // this process's, so only held
  RemoveStaleTempFilesBeside({{list, {}}, {scratch / "backups/list.bak", {}}});
  EXPECT_FALSE(fs::exists(scratch / "backups/~tavrin-4194300.tmp"));
  EXPECT_FALSE(fs::exists(scratch / "~tavrin-4194303.tmp"));
  EXPECT_FALSE(fs::exists(scratch / "~tavrin-4194302-2.tmp"));
  EXPECT_FALSE(fs::exists(scratch / ("~tavrin-" + own + "-7.tmp")));
  for (const std::string& name : others) EXPECT_TRUE(fs::exists(scratch / name)) << name;
  EXPECT_TRUE(fs::exists(held.path()));
}

}  // namespace
}  // namespace platform
