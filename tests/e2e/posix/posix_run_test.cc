#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/run_fixture.h"

namespace fs = std::filesystem;

namespace {

// Sets the file's inode flags (chattr); false where the file system has none.
bool SetInodeFlags(const std::string& path, int flags) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool done = file >= 0 && ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
  if (file >= 0) close(file);
  return done;
}

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

TEST_F(TavrinRunTest, RefusesWhatIsNoFileOrIsItsOwnBackupAndTouchesNothing) {
  ASSERT_EQ(mkfifo(list_.c_str(), 0600), 0);
  ExpectFailure(Run(), "is not a file");
  EXPECT_TRUE(fs::is_fifo(list_));
  fs::remove(list_);
  if (mknod(list_.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {  // a null device
    ExpectFailure(Run(), "is not a file");
    EXPECT_TRUE(fs::is_character_file(list_));
    fs::remove(list_);
  }
  // The list a link to its own backup, and a backup path that leads back to
  // the list: the only copy would be deleted as a stale backup.
  WriteBytes(backup_, "precious\r\n");
  fs::create_symlink("Software.bak", list_);
  ExpectFailure(Run(), "names the list itself");
  fs::remove(list_);
  EXPECT_EQ(ReadBytes(backup_), "precious\r\n");
  fs::create_directory(scratch_ / "a.d");
  WriteBytes(scratch_ / "a.bak", "precious\r\n");
  options_.environment["Software_Txt"] = scratch_ / "a.d/../a.bak";  // its backup: a.bak
  ExpectFailure(Run(), "names the list itself");
  EXPECT_EQ(ReadBytes(scratch_ / "a.bak"), "precious\r\n");
  options_.environment["Software_Txt"] = "$$";
  ExpectFailure(Run(), "the software list's path is empty");
  EXPECT_EQ(EntriesInScratch(), 3u);
  // What only the last rename would refuse: an immutable or append-only
  // list, a list that is a mount point. Root alone can make them.
  options_.environment["Software_Txt"] = list_;
  if (geteuid() != 0) return;
  WriteBytes(list_, "old\r\n");
  WriteBytes(backup_, "stale\r\n");
  // The list, its directory (which would keep every temp file) or the
  // stale backup.
  const std::vector<std::pair<std::string, std::string>> fixed = {
      {list_, "it is immutable or append-only"},
      {scratch_.path(), "its directory is immutable or append-only"},
      {backup_, "cannot be replaced: it is immutable or append-only"}};
  for (const auto& [path, words] : fixed)
    for (const int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
      if (!SetInodeFlags(path, flag)) continue;  // a file system without them
      ExpectFailure(Run(), words);
      SetInodeFlags(path, 0);
    }
  WriteBytes(scratch_ / "shown.txt", "shown\r\n");
  ASSERT_EQ(mount((scratch_ / "shown.txt").c_str(), list_.c_str(), nullptr, MS_BIND, nullptr), 0);
  ExpectFailure(Run(), "it is a mount point");
  umount(list_.c_str());
  EXPECT_EQ(ReadBytes(list_), "old\r\n");
  EXPECT_EQ(ReadBytes(backup_), "stale\r\n");
  EXPECT_EQ(EntriesInScratch(), 5u);
}

TEST_F(TavrinRunTest, ALinkedListIsBackedUpByItsContentAndBecomesAFile) {
  fs::create_directory(scratch_ / "real");
  WriteBytes(scratch_ / "real/list.txt", "old\r\n");
  fs::permissions(scratch_ / "real/list.txt", fs::perms(0444));
  fs::create_symlink("real/list.txt", list_);
  fs::create_symlink("nowhere", backup_);  // a dangling stale backup
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(backup_), "old\r\n");
  EXPECT_FALSE(fs::is_symlink(list_));
  EXPECT_EQ(ReadBytes(list_), "old\r\n" + StampFor("0.0") + "\r\n");
  // The file the link named is left as it was: no second name, no rights.
  EXPECT_EQ(ReadBytes(scratch_ / "real/list.txt"), "old\r\n");
  EXPECT_EQ(fs::status(scratch_ / "real/list.txt").permissions(), fs::perms(0444));
  EXPECT_EQ(fs::hard_link_count(scratch_ / "real/list.txt"), 1u);
  ExpectQuietSuccess(Run());  // and a second run finds a plain list
  // A link to a file named like a killed run's temp file: that file is the
  // list's, not litter.
  fs::remove(list_);
  WriteBytes(scratch_ / "~tavrin-4194303.tmp", "kept\r\n");
  fs::create_symlink("~tavrin-4194303.tmp", list_);
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(scratch_ / "~tavrin-4194303.tmp"), "kept\r\n");
  EXPECT_EQ(ReadBytes(backup_), "kept\r\n");
}

TEST_F(TavrinRunTest, AProfileThatIsThereButCannotBeReadEndsTheRun) {
  const std::string program = InstallProgram("[Intern]\r\nText1=Velmo Service Pack 2.1\r\n");
  const std::string ini = scratch_ / "bin/InstallSp.ini";
  WriteBytes(list_, "old\r\n");
  fs::permissions(ini, fs::perms::none);
  fs::permissions(scratch_.path(), fs::perms(0777));
  // Root reads it anyway: then run as nobody; anyone else cannot read it.
  if (geteuid() == 0) options_.user_id = 65534;
  ExpectFailure(Run(program), "InstallSp.ini': Permission denied");
  options_.user_id.reset();
  fs::remove(ini);
  ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
  options_.kill_after_us = 2'000'000;  // a run that waits on the FIFO would be killed
  ExpectFailure(Run(program), "is not an ordinary file");
  options_.kill_after_us.reset();
  fs::remove(ini);
  fs::create_directory(ini);
  ExpectFailure(Run(program), "is not an ordinary file");
  EXPECT_EQ(ReadBytes(list_), "old\r\n");
  EXPECT_FALSE(fs::exists(backup_));
}

TEST_F(TavrinRunTest, MemoryStaysFlatForALineOfAnyLength) {
  if (TAVRIN_SANITIZED) GTEST_SKIP() << "AddressSanitizer's shadow memory swamps the measure";
  const auto line = [] { return std::string(48 << 20, 'x'); };
  // Written and freed before the run, whose peak counts what it forked from.
  WriteBytes(list_, "head\r\n" + line() + " Service Pack 1\r\n" + line() + "\r\n");
  const ProgramRun run = Run();
  ExpectQuietSuccess(run);
  EXPECT_LT(run.peak_memory_kb, 8 * 1024) << "for a list of two 48 MB lines";
  EXPECT_EQ(ReadBytes(list_), "head\r\n" + StampFor("0.0") + "\r\n" + line() + "\r\n");
}

TEST_F(TavrinRunTest, AListNamedNearTheLimitGetsATempFileAndABackup) {
  const std::string list = scratch_ / std::string(251, 'n');  // its backup: 255 bytes
  options_.environment["Software_Txt"] = list;
  WriteBytes(list, "old\r\n");
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list + ".bak"), "old\r\n");
}

}  // namespace
