#include "platform/replacement.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <string>

#include "base/run_error.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

const ReplacementWords kWords{"cannot replace the file", "cannot keep a backup of the file",
                              "file"};

// Writes `text` as the new file, having read the old one, if any, to its end.
void Write(File* old, TempFile& file, const std::string& text) {
  char buffer[64];
  while (old && old->ReadSome(buffer, sizeof buffer) > 0) {
  }
  file.Append(text.data(), text.size());
}

std::ptrdiff_t Entries(const ScratchDir& scratch) {
  return std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator());
}

TEST(Replacement, PutsTheNewFileInPlaceReadOnlyWithTheOldOneAsItsWritableBackup) {
  ScratchDir scratch;
  const std::string target = scratch / "list.txt", backup = scratch / "list.bak";
  {
    Replacement replacement(target, backup, kWords);
    File* old = replacement.Open();
    EXPECT_EQ(old, nullptr);  // nothing there yet, and so no backup
    EXPECT_TRUE(replacement.Replace([&](TempFile& file) { Write(old, file, "first"); }));
  }
  EXPECT_EQ(ReadBytes(target), "first");
  EXPECT_TRUE(IsReadOnly(target));
  EXPECT_FALSE(fs::exists(backup));
  WriteBytes(backup, "stale");
  {
    Replacement replacement(target, backup, kWords);
    File* old = replacement.Open();
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(replacement.Replace([&](TempFile& file) { Write(old, file, "second"); }));
  }
  EXPECT_EQ(ReadBytes(target), "second");
  EXPECT_TRUE(IsReadOnly(target));
  EXPECT_EQ(ReadBytes(backup), "first");
  EXPECT_FALSE(IsReadOnly(backup));
  EXPECT_EQ(Entries(scratch), 2);  // no temp name left
}

// Steps 8 and 9: another program saves its edit in the target's place during
// a round. Nothing is replaced, the stale backup is back as it was, and the
// next round replaces the edit.
TEST(Replacement, AFileSavedInPlaceDuringARoundIsLeftForTheNextRound) {
  ScratchDir scratch;
  const std::string target = scratch / "list.txt", backup = scratch / "list.bak";
  WriteBytes(target, "old");
  WriteBytes(backup, "stale");
  SetReadOnly(backup, true);
  Replacement replacement(target, backup, kWords);
  File* old = replacement.Open();
  EXPECT_FALSE(replacement.Replace([&](TempFile& file) {
    Write(old, file, "new");
    fs::rename(target, scratch / "moved");
    WriteBytes(target, "edited");
  }));
  EXPECT_EQ(ReadBytes(target), "edited");
  EXPECT_EQ(ReadBytes(backup), "stale");
  EXPECT_TRUE(IsReadOnly(backup));
  old = replacement.Open();
  EXPECT_TRUE(replacement.Replace([&](TempFile& file) { Write(old, file, "new"); }));
  EXPECT_EQ(ReadBytes(target), "new");
  EXPECT_EQ(ReadBytes(backup), "edited");
  EXPECT_EQ(Entries(scratch), 3);  // and "moved"
}

// Steps 5 to 9 failing, or finding the target gone: the target and the
// read-only stale backup stay as they were, and no temp name is left.
TEST(Replacement, AFailedRoundLeavesTheTargetAndTheStaleBackupAsTheyWere) {
  for (const bool gone : {false, true}) {
    ScratchDir scratch;
    const std::string target = scratch / "list.txt", backup = scratch / "list.bak";
    WriteBytes(target, "old");
    WriteBytes(backup, "stale");
    SetReadOnly(backup, true);
    Replacement replacement(target, backup, kWords);
    File* old = replacement.Open();
    const auto fail = [&](TempFile& file) {
      Write(old, file, "new");
      if (!gone) throw base::RunError("cannot write", file.path(), "the disk is full");
      fs::remove(target);
    };
    if (gone) {
      EXPECT_FALSE(replacement.Replace(fail));
    } else {
      EXPECT_THROW(replacement.Replace(fail), base::RunError);
      EXPECT_EQ(ReadBytes(target), "old");
    }
    EXPECT_EQ(ReadBytes(backup), "stale");
    EXPECT_TRUE(IsReadOnly(backup));
    EXPECT_EQ(Entries(scratch), gone ? 1 : 2);
  }
}

}  // namespace
}  // namespace platform
