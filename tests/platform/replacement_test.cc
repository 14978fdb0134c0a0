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

// Steps 5 to 9: a round whose write fails, or that finds the target taken
// away or replaced by another program's edit, replaces nothing: the target
// stays as that left it and the read-only stale backup as it was, with no
// temp name left, and the next round replaces what is there.
TEST(Replacement, ARoundThatFailsOrIsOvertakenLeavesTheTargetAndTheStaleBackup) {
  enum class Ending { kWriteFails, kTargetGone, kTargetEdited };
  for (const Ending ending : {Ending::kWriteFails, Ending::kTargetGone, Ending::kTargetEdited}) {
    ScratchDir scratch;
    const std::string target = scratch / "list.txt", backup = scratch / "list.bak";
    WriteBytes(target, "old");
    WriteBytes(backup, "stale");
    SetReadOnly(backup, true);
    Replacement replacement(target, backup, kWords);
    File* old = replacement.Open();
    const auto round = [&](TempFile& file) {
      Write(old, file, "new");
      if (ending == Ending::kWriteFails) throw base::RunError("cannot write", "", "disk full");
      fs::rename(target, scratch / "moved");
      if (ending == Ending::kTargetEdited) WriteBytes(target, "edited");
    };
    if (ending == Ending::kWriteFails) {
      EXPECT_THROW(replacement.Replace(round), base::RunError);
    } else {
      EXPECT_FALSE(replacement.Replace(round));
    }
    const std::string left = ending == Ending::kWriteFails     ? "old"
                             : ending == Ending::kTargetEdited ? "edited"
                                                               : "";
    EXPECT_EQ(fs::exists(target) ? ReadBytes(target) : "", left);
    EXPECT_EQ(ReadBytes(backup), "stale");
    EXPECT_TRUE(IsReadOnly(backup));
    EXPECT_EQ(Entries(scratch), ending == Ending::kTargetEdited ? 3 : 2);  // "moved" too
    old = replacement.Open();
    EXPECT_TRUE(replacement.Replace([&](TempFile& file) { Write(old, file, "new"); }));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(backup), left.empty() ? "stale" : left);  // nothing there: no backup
    EXPECT_EQ(Entries(scratch), ending == Ending::kWriteFails ? 2 : 3);
  }
}

}  // namespace
}  // namespace platform
