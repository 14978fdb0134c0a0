#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/run_error.h"
#include "platform/run_turn.h"
#include "platform/temp_file.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

TEST(Files, TellsFilesDirectoriesLinksAndOtherThings) {
  ScratchDir scratch;
  WriteBytes(scratch / "file", "x");
  WriteBytes(scratch / "locked", "x");
  fs::permissions(scratch / "locked", fs::perms(0444));
  fs::create_directory(scratch / "dir");
  fs::create_symlink(scratch / "file", scratch / "link");
  fs::create_symlink(scratch / "gone", scratch / "dangling");
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(LookAt(scratch / "file").kind, PathKind::kFile);
  EXPECT_EQ(LookAt(scratch / "locked").kind, PathKind::kFile);
  EXPECT_EQ(LookAt(scratch / "link").kind, PathKind::kFile);
  EXPECT_EQ(LookAt(scratch / "dangling").kind, PathKind::kNothing);
  EXPECT_EQ(LookAt(scratch / "dir").kind, PathKind::kDirectory);
  EXPECT_EQ(LookAt(scratch / "fifo").kind, PathKind::kOther);
  EXPECT_EQ(LookAt("/dev/null").kind, PathKind::kOther);
  EXPECT_EQ(LookAt(scratch / "missing").kind, PathKind::kNothing);
  EXPECT_EQ(LookAt(scratch / "file/below").kind, PathKind::kNothing);
  EXPECT_TRUE(LookAt(scratch / "dangling").is_link);
  EXPECT_FALSE(LookAt(scratch / "file").is_link);
  EXPECT_EQ(IdentityOf(scratch / "link"), IdentityOf(scratch / "file"));
  EXPECT_EQ(IdentityOf(scratch / "dir/../file"), IdentityOf(scratch / "file"));
  EXPECT_NE(IdentityOf(scratch / "locked"), IdentityOf(scratch / "file"));
  EXPECT_FALSE(IdentityOf(scratch / "dangling"));
}

TEST(Files, ReadOnlyTakesEveryWriteBitAndNormalGivesTheOwnersBack) {
  ScratchDir scratch;
  const std::string file = scratch / "file";
  WriteBytes(file, "x");
  fs::permissions(file, fs::perms(0666));
  SetReadOnly(file, true);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0444));
  SetReadOnly(file, false);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
  EXPECT_THROW(SetReadOnly(scratch / "missing", false), base::RunError);
}

TEST(Files, CreatesNewFilesBesideAPathWithoutTouchingWhatIsThere) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  TempFile first = TempFile::CreateBeside(list, "file");
  TempFile second = TempFile::CreateBeside(list, "file");
  EXPECT_NE(first.path(), second.path());
  EXPECT_EQ(fs::path(first.path()).parent_path(), scratch.path());
  EXPECT_EQ(fs::path(first.path()).filename().string().rfind("~tavrin-", 0), 0u);
  EXPECT_EQ(fs::status(first.path()).permissions(), fs::perms(0600));  // private until kept
  // A link planted under the next name is neither followed nor replaced.
  const std::string planted = second.path();
  { TempFile gone = std::move(second); }
  fs::create_symlink(scratch / "target", planted);
  TempFile third = TempFile::CreateBeside(list, "file");
  EXPECT_NE(third.path(), planted);
  EXPECT_FALSE(fs::exists(scratch / "target"));
  EXPECT_TRUE(fs::is_symlink(planted));
}

TEST(Files, TheNewListKeepsThePermissionsOfTheOldOne) {
  ScratchDir scratch;
  const std::string list = scratch / "list.txt";
  WriteBytes(list, "old");
  fs::permissions(list, fs::perms(0640));
  const bool root = geteuid() == 0;  // then the old list can be given away, and kept so
  if (root) {
    ASSERT_EQ(chown(list.c_str(), 65534, 65534), 0);
  }
  TempFile replacement = TempFile::CreateBeside(list, "file");
  const FileFacts facts = File::OpenForReading(list).Facts();
  replacement.TakeRights(&facts, false);
  replacement.Sync();
  replacement.KeepAs(list);
  EXPECT_EQ(fs::status(list).permissions(), fs::perms(0640));
  struct stat info;
  ASSERT_EQ(stat(list.c_str(), &info), 0);
  if (root) {
    EXPECT_EQ(info.st_uid, 65534u);
  }
}

TEST(Files, ErrorsNameTheOperationThePathAndTheReason) {
  ScratchDir scratch;
  try {
    SetReadOnly(scratch / "missing", false);
    FAIL();
  } catch (const base::RunError& error) {
    EXPECT_EQ(std::string(error.what()), "cannot read the attributes of '" + (scratch / "missing") +
                                             "': No such file or directory");
  }
  try {
    File::OpenForReading("Q:\\nowhere\\list.txt");
    FAIL();
  } catch (const base::RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot open 'Q:\\nowhere\\list.txt': No such file or directory "
              "(at /mnt/q/nowhere/list.txt)");
  }
  // A FIFO put where the list was looked at: refused, not waited on.
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0600), 0);
  try {
    File::OpenForReading(scratch / "fifo");
    FAIL();
  } catch (const base::RunError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot open '" + (scratch / "fifo") + "': it is not an ordinary file");
  }
}

// The test's own turn stands in for another run: flock locks of two opens
// exclude each other within one process too.
TEST(RunTurn, OneRunADirectoryAtATimeAndAWaitInVainSaysWhy) {
  ScratchDir scratch;
  fs::create_directory(scratch.path() / "sub");
  const std::string other = scratch / "Other.txt";
  {
    const RunTurn first = RunTurn::Take(scratch / "Software.txt");
    try {
      RunTurn::Take(other, std::chrono::milliseconds(200));
      FAIL();
    } catch (const base::RunError& error) {
      EXPECT_EQ(std::string(error.what()), "cannot stamp the software list '" + other +
                                               "': another run of tavrin has been stamping it "
                                               "for over 200 ms");
    }
    RunTurn::Take(scratch / "sub/Software.txt", std::chrono::milliseconds(0));  // its own turn
  }
  RunTurn::Take(other, std::chrono::milliseconds(0));  // the first let go
  EXPECT_NE(std::string(NoTurnWithin(other, kLongestTurnWait).what()).find("for over 60 s"),
            std::string::npos);
}

}  // namespace
}  // namespace platform
