// Interrupts the built program in the middle of its work and checks that the
// software list is always whole: the old one or the new one.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/scratch.h"
#include "support/stamp_model.h"

namespace fs = std::filesystem;

namespace {

// The process id that begins the `n`th line of strace's log that holds
// `text`; 0 while there is none.
pid_t NthLineWith(const std::string& log, const std::string& text, int n) {
  std::ifstream file(log);
  for (std::string line; std::getline(file, line);)
    if (line.find(text) != std::string::npos && --n == 0) return std::atoi(line.c_str());
  return 0;
}

const std::string kStamp = StampFor("0.0") + "\r\n";

class CrashSafetyTest : public testing::Test {
 protected:
  CrashSafetyTest() { options_.working_directory = scratch_.path().string(); }

  // A list of about `megabytes` MB with one marked line in its middle, and
  // the list the program makes of it.
  void MakeLists(int megabytes) {
    const std::string body(990, 'h');
    old_list_.clear();
    new_list_.clear();
    const int lines = megabytes * 1000;
    for (int i = 0; i < lines; ++i) {
      const std::string line = std::to_string(i) + " " + body + "\r\n";
      if (i == lines / 2) {
        old_list_ += "Service Pack 1.0\r\n";
        new_list_ += kStamp;
      }
      old_list_ += line;
      new_list_ += line;
    }
  }

  // Puts the old list back at `list` and removes everything else.
  void Reset(const std::string& list) {
    for (const auto& entry : fs::directory_iterator(fs::path(list).parent_path())) {
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
      fs::remove(entry.path());
    }
    WriteBytes(list, old_list_);
  }

  size_t EntriesInScratch() const {
    return size_t(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()));
  }

  // Runs the program under strace, which stops it after each of its flushes
  // (fsync), and calls `at_stop` with the stop's number (from 1) while it
  // stands still there. The tracer's log tells when a stop has begun, and
  // when its SIGCONT arrived: one sent before would be lost, the stop coming
  // after.
  ProgramRun RunStoppedAtEachFlush(const std::function<void(int stop)>& at_stop) {
    const std::string log = scratch_ / "strace.log";
    options_.environment["ASAN_OPTIONS"] = "detect_leaks=0";  // LeakSanitizer cannot run traced
    options_.arguments = {
        "-f", "-o", log, "-e", "trace=fsync", "-e", "inject=fsync:signal=SIGSTOP", TAVRIN_EXE};
    auto run =
        std::async(std::launch::async, [&] { return RunProgram("/usr/bin/strace", options_); });
    const auto running = [&] {
      return run.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready;
    };
    for (int stop = 1;; ++stop) {
      pid_t stopped = 0;
      while (!(stopped = NthLineWith(log, "--- stopped by SIGSTOP", stop)) && running()) {
      }
      if (!stopped) break;
      at_stop(stop);
      // Once more only if it never arrives: a SIGCONT to spare would take
      // the next stop away.
      for (int waited = 0; !NthLineWith(log, "--- SIGCONT", stop) && running(); ++waited)
        if (waited % 400 == 0) kill(stopped, SIGCONT);
    }
    options_.arguments.clear();
    return run.get();
  }

  ScratchDir scratch_;
  ProgramOptions options_;
  std::string old_list_, new_list_;
};

TEST_F(CrashSafetyTest, AKillAtAnyMomentLeavesTheOldOrTheNewListWhole) {
  fs::create_directory(scratch_ / "lists");
  const std::string list = scratch_ / "lists/Software.txt";
  const std::string backup = scratch_ / "lists/Software.bak";
  options_.environment["Software_Txt"] = list;
  MakeLists(24);

  Reset(list);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunProgram(TAVRIN_EXE, options_).exit_code, 0);
  const long run_us = long(std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());

  int killed_with_old = 0, killed_with_new = 0;
  const int kKills = 40;
  for (int i = 0; i < kKills; ++i) {
    Reset(list);
    // Spread over the run; the last few land well after its end.
    options_.kill_after_us = i < kKills - 4 ? run_us * i / (kKills - 4) : run_us * 4;
    RunProgram(TAVRIN_EXE, options_);
    const std::string now = ReadBytes(list);
    if (now == old_list_) {
      ++killed_with_old;
      if (fs::exists(backup)) {
        EXPECT_EQ(ReadBytes(backup), old_list_) << i;
      }
    } else {
      ASSERT_EQ(now, new_list_) << "kill " << i << " left a broken list";
      ++killed_with_new;
      EXPECT_EQ(ReadBytes(backup), old_list_) << i;
    }
  }
  std::printf("run took %ld us; kills left the old list %d times, the new one %d times\n", run_us,
              killed_with_old, killed_with_new);
  EXPECT_GT(killed_with_old, 0);
  EXPECT_GT(killed_with_new, 0);

  // Whatever a kill left behind, the next run finishes the job.
  options_.kill_after_us.reset();
  EXPECT_EQ(RunProgram(TAVRIN_EXE, options_).exit_code, 0);
  EXPECT_EQ(ReadBytes(list), new_list_);
}

TEST_F(CrashSafetyTest, AFullDiskFailsTheRunAndKeepsListAndStaleBackup) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const std::string disk = scratch_ / "disk";
  fs::create_directory(disk);
  if (std::system(("mount -t tmpfs -o size=4m tavrin-test " + disk + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  const std::string list = disk + "/Software.txt";
  options_.environment["Software_Txt"] = list;
  MakeLists(3);
  Reset(list);
  ProgramRun run = RunProgram(TAVRIN_EXE, options_);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.errors.find("No space left on device"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadBytes(list), old_list_);
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 1);
  fs::remove(list);

  // The list on a file system of its own, its backup on the full one: the
  // copy that would become the backup does not fit. The stale backup stays
  // as it was, and the list read-only.
  const std::string volume = disk + "/volume.d", stale = disk + "/volume.bak";
  fs::create_directory(volume);
  ASSERT_EQ(std::system(("mount -t tmpfs -o size=8m tavrin-test " + volume).c_str()), 0);
  options_.environment["Software_Txt"] = volume + "/Software.txt";
  WriteBytes(volume + "/Software.txt", old_list_);
  fs::permissions(volume + "/Software.txt", fs::perms(0444));
  WriteBytes(stale, "stale");
  WriteBytes(disk + "/filler", std::string(3500000, 'f'));
  run = RunProgram(TAVRIN_EXE, options_);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.errors.find("No space left on device"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadBytes(volume + "/Software.txt"), old_list_);
  EXPECT_EQ(fs::status(volume + "/Software.txt").permissions(), fs::perms(0444));
  EXPECT_EQ(ReadBytes(stale), "stale");
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(volume), fs::directory_iterator()), 1);
  std::system(("umount " + volume + " && umount " + disk).c_str());
}

// Another program edits the list while a run stands still after its first
// flush (the new list's: the list has been read whole by then). The run
// stamps the edited list, not the one it read first, whether the edit put
// another file in the list's place or changed the list's own file, its size
// alone (an editor that keeps the time) or its time alone. One that edits at
// every flush makes the run give up, the list as that program left it and
// the stale backup whole.
TEST_F(CrashSafetyTest, AnEditMadeDuringTheRunIsStampedNotDropped) {
  const std::string list = scratch_ / "Software.txt", backup = scratch_ / "Software.bak";
  const auto earlier = fs::file_time_type::clock::now() - std::chrono::hours(1);
  const auto append = [&](const std::string& bytes) {
    std::ofstream(list, std::ios::binary | std::ios::app) << bytes;
  };
  struct Edit {
    const char* what;
    int stops;  // at how many flushes it edits
    std::function<void(int stop)> edit;
    std::string stamped;  // what the run makes of the edited list; "" for none
  };
  const std::vector<Edit> edits = {
      {"an edited copy renamed over it", 1,
       [&](int) {
         WriteBytes(scratch_ / "edit.tmp", "Tools\r\nNew tool\r\nService Pack 1\r\n");
         fs::rename(scratch_ / "edit.tmp", list);
       },
       "Tools\r\nNew tool\r\n" + kStamp},
      {"appended to in place, its time set back", 1,
       [&](int) {
         append("New tool\r\n");
         fs::last_write_time(list, earlier);
       },
       "Tools\r\n" + kStamp + "New tool\r\n"},
      {"rewritten in place with as many bytes", 1,
       [&](int) { WriteBytes(list, "Tool2\r\nService Pack 1\r\n"); }, "Tool2\r\n" + kStamp},
      // Four times as many as the limit of stampings could need.
      {"appended to at every flush", 40,
       [&](int stop) { append("Tool " + std::to_string(stop) + "\r\n"); }, ""},
  };
  old_list_ = "Tools\r\nService Pack 1\r\n";
  options_.environment["Software_Txt"] = list;
  for (const Edit& edit : edits) {
    Reset(list);
    fs::last_write_time(list, earlier);
    WriteBytes(backup, "stale");
    std::string edited;
    const ProgramRun run = RunStoppedAtEachFlush([&](int stop) {
      if (stop > edit.stops) return;
      edit.edit(stop);
      edited = ReadBytes(list);
    });
    if (edit.stamped.empty()) {
      EXPECT_EQ(run.exit_code, 1) << edit.what;
      EXPECT_NE(run.errors.find("cannot stamp the software list '" + list +
                                "': another program keeps changing it; it is left as that "
                                "program left it"),
                std::string::npos)
          << edit.what << ": " << run.errors;
      EXPECT_EQ(ReadBytes(list), edited) << edit.what;
      EXPECT_EQ(ReadBytes(backup), "stale") << edit.what;
      EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 3)
          << edit.what << ": a temp file left";
    } else {
      EXPECT_EQ(run.exit_code, 0) << edit.what << ": " << run.errors;
      EXPECT_EQ(ReadBytes(list), edit.stamped) << edit.what;
      EXPECT_EQ(ReadBytes(backup), edited) << edit.what;
    }
  }
}

TEST_F(CrashSafetyTest, ABackupOnAnotherFileSystemIsAFlushedCopy) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  // The backup is cut at the first ".", in the directory that holds the mount.
  const std::string volume = scratch_ / "volume.d";
  fs::create_directory(volume);
  if (std::system(("mount -t tmpfs -o size=8m tavrin-test " + volume + " 2>/dev/null").c_str()) !=
      0)
    GTEST_SKIP() << "cannot mount a file system here";
  options_.environment["Software_Txt"] = volume + "/Software.txt";
  MakeLists(1);
  WriteBytes(volume + "/Software.txt", old_list_);
  fs::permissions(volume + "/Software.txt", fs::perms(0400));
  ASSERT_EQ(chown((volume + "/Software.txt").c_str(), 65534, 65534), 0);
  const ProgramRun run = RunProgram(TAVRIN_EXE, options_);
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_EQ(ReadBytes(volume + "/Software.txt"), new_list_);
  EXPECT_EQ(ReadBytes(scratch_ / "volume.bak"), old_list_);
  struct stat copy;  // a private list's copy is no less private
  ASSERT_EQ(stat((scratch_ / "volume.bak").c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mode & 07777, 0600u);  // made normal first: owner-writable
  EXPECT_EQ(copy.st_uid, 65534u);
  std::system(("umount " + volume).c_str());
}

TEST_F(CrashSafetyTest, RunsSideBySideOnOneListAllSucceed) {
  const std::string list = scratch_ / "Software.txt";
  options_.environment["Software_Txt"] = list;
  MakeLists(1);
  for (int round = 0; round < 5; ++round) {
    Reset(list);
    WriteBytes(scratch_ / "Software.bak", "stale");
    std::vector<std::future<ProgramRun>> runs;
    for (int i = 0; i < 8; ++i)
      runs.push_back(
          std::async(std::launch::async, [&] { return RunProgram(TAVRIN_EXE, options_); }));
    for (auto& run : runs) {
      const ProgramRun done = run.get();
      EXPECT_EQ(done.exit_code, 0) << "round " << round << ": " << done.errors;
    }
    EXPECT_EQ(ReadBytes(list), new_list_);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 2);
  }
}

// One slow run (each fsync of it delayed by 100 ms) beside runs started one
// after another: runs of tavrin take turns, so none counts another's list as
// an edit. Without turns the slow run would stamp anew after each of theirs
// and give up after ten ("another program keeps changing it").
TEST_F(CrashSafetyTest, ASlowRunBesideRunsStartedOneAfterAnotherFinishesAsTheyDo) {
  const std::string list = scratch_ / "Software.txt";
  options_.environment["Software_Txt"] = list;
  MakeLists(1);
  Reset(list);
  ProgramOptions slow = options_;
  slow.environment["ASAN_OPTIONS"] = "detect_leaks=0";  // LeakSanitizer cannot run traced
  slow.arguments = {
      "-f",      "-o", "/dev/null", "-e", "trace=fsync", "-e", "inject=fsync:delay_enter=100000",
      TAVRIN_EXE};
  auto slow_run =
      std::async(std::launch::async, [&] { return RunProgram("/usr/bin/strace", slow); });
  // Its temp file shows that it has its turn.
  for (int tries = 0; EntriesInScratch() < 2; ++tries) {
    ASSERT_LT(tries, 10000) << "the slow run made no temp file";
    usleep(1000);
  }
  for (int runs = 0;
       runs < 11 || slow_run.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
       ++runs) {
    ASSERT_LT(runs, 200) << "the slow run does not end";
    const ProgramRun done = RunProgram(TAVRIN_EXE, options_);
    EXPECT_EQ(done.exit_code, 0) << done.errors;
    usleep(20000);
  }
  const ProgramRun done = slow_run.get();
  EXPECT_EQ(done.exit_code, 0) << done.errors;
  EXPECT_EQ(ReadBytes(list), new_list_);
  EXPECT_EQ(EntriesInScratch(), 2u);
}

}  // namespace
