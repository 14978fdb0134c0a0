// Runs while other programs hold the list, its backup, InstallSp.ini or a
// temp file: a hold of a moment is waited out, one for good ends the run
// after the wait with nothing lost.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "e2e/run_fixture.h"
#include "platform/win32/faults.h"
#include "support/win32/file_holder.h"

namespace fs = std::filesystem;

namespace {

const std::string kList = "Tools\r\nService Pack 1\r\n";
const std::string kProfile = "[Intern]\r\nText1=Velmo Service Pack 2.1\r\n";

class HeldFileRunTest : public TavrinRunTest {
 protected:
  // Runs the program and reports how long the run took.
  ProgramRun TimedRun(const std::string& program, const std::string& what) {
    const auto start = std::chrono::steady_clock::now();
    ProgramRun run = Run(program);
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty(what, std::to_string(seconds_));
    std::printf("  %s: %.2f s\n", what.c_str(), seconds_);
    return run;
  }

  bool OnlyListAndBackupInScratch(const std::string& also = "") const {
    for (const auto& entry : fs::directory_iterator(scratch_.path()))
      if (entry.path() != list_ && entry.path() != backup_ && entry.path() != also &&
          entry.path().filename() != "bin")
        return false;
    return true;
  }

  double seconds_ = 0;
};

TEST_F(HeldFileRunTest, WaitsForProgramsThatHoldTheFilesForAMoment) {
  const std::string program = InstallProgram(kProfile);
  const std::string profile = (scratch_.path() / "bin" / "InstallSp.ini").string();
  WriteBytes(list_, kList);
  {
    // A reader without delete sharing holds off the rename over the list.
    const FileHolder reader(list_, "read", 1000);
    ExpectQuietSuccess(TimedRun(program, "list held for 1 s"));
  }
  EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + StampFor("2.1") + "\r\n");
  EXPECT_EQ(ReadBytes(backup_), kList);
  {
    const FileHolder reader(backup_, "read", 1000);
    ExpectQuietSuccess(TimedRun(program, "stale backup held for 1 s"));
  }
  EXPECT_EQ(ReadBytes(backup_), "Tools\r\n" + StampFor("2.1") + "\r\n");
  {
    // The profile lookup would take an exclusively held file for a missing one.
    const FileHolder editor(profile, "none", 1000);
    ExpectQuietSuccess(TimedRun(program, "InstallSp.ini held for 1 s"));
  }
  {
    // A virus scanner taking InstallSp.ini for itself 1 ms at a time: no
    // run takes the file for a missing one and stamps 0.0.
    const FileHolder scanner(profile, "none", FileHolder::kPulses);
    for (int i = 0; i < 20; ++i) {
      const ProgramRun run = Run(program);
      if (run.exit_code != 0) ExpectFailure(run, "cannot read '" + profile + "'");
      EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + StampFor("2.1") + "\r\n") << "run " << i;
    }
  }
  EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + StampFor("2.1") + "\r\n");
  EXPECT_TRUE(OnlyListAndBackupInScratch());
}

TEST_F(HeldFileRunTest, GivesUpOnFilesHeldForGoodAndLosesNothing) {
  const std::string program = InstallProgram(kProfile);
  const std::string profile = (scratch_.path() / "bin" / "InstallSp.ini").string();
  const std::string stamped = "Tools\r\n" + StampFor("2.1") + "\r\n";
  const std::string late_name = scratch_ / "~tavrin-4000000-1.tmp";
  WriteBytes(list_, kList);
  ASSERT_TRUE(SetFileAttributesA(list_.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    // A reader without delete sharing keeps every name of the list from
    // being renamed or removed: the run fails before it makes a second one.
    const FileHolder reader(list_, "read");
    ExpectFailure(TimedRun(program, "list held for good"),
                  "cannot keep the old list as '" + backup_ + "': ");
    EXPECT_GE(seconds_, 2.0);  // waited before it gave up
    EXPECT_LT(seconds_, 4.0);  // and only once
    EXPECT_EQ(ReadBytes(list_), kList);
    EXPECT_TRUE(IsReadOnly(list_));
    EXPECT_TRUE(OnlyListAndBackupInScratch());
    // The second name of a run whose reader came after that look: the
    // cleanup cannot remove it and takes nothing from the list's file.
    ASSERT_TRUE(CreateHardLinkA(late_name.c_str(), list_.c_str(), nullptr));
    ExpectFailure(Run(program), "cannot keep the old list as '" + backup_ + "': ");
    EXPECT_TRUE(IsReadOnly(list_));
    EXPECT_TRUE(OnlyListAndBackupInScratch(late_name));
    EXPECT_TRUE(fs::exists(late_name));
  }
  // Once the reader lets go, a run finishes the job and removes that name.
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(ReadBytes(list_), stamped);
  EXPECT_EQ(ReadBytes(backup_), kList);
  EXPECT_TRUE(OnlyListAndBackupInScratch());
  {
    // Windows replaces no open file, even one whose reader shares deletion.
    const FileHolder reader(list_, "all");
    ExpectFailure(Run(program), "cannot keep the old list as '" + backup_ + "': ");
    EXPECT_EQ(ReadBytes(list_), stamped);
    EXPECT_EQ(ReadBytes(backup_), kList);
    EXPECT_TRUE(OnlyListAndBackupInScratch());
  }
  {
    // Read-only, as a copy made by hand may be: it keeps the attribute.
    ASSERT_TRUE(SetFileAttributesA(backup_.c_str(), FILE_ATTRIBUTE_READONLY));
    const FileHolder reader(backup_, "read");
    ExpectFailure(TimedRun(program, "stale backup held for good"),
                  "cannot keep the old list as '" + backup_ + "'");
    EXPECT_GE(seconds_, 2.0);
    EXPECT_EQ(ReadBytes(list_), stamped);
    EXPECT_TRUE(IsReadOnly(list_));  // given back after the failure
    EXPECT_EQ(ReadBytes(backup_), kList);
    EXPECT_TRUE(IsReadOnly(backup_));
    EXPECT_TRUE(OnlyListAndBackupInScratch());
  }
  {
    ASSERT_TRUE(SetFileAttributesA(list_.c_str(), FILE_ATTRIBUTE_READONLY));
    const FileHolder editor(profile, "none");
    ExpectFailure(TimedRun(program, "InstallSp.ini held for good"),
                  "cannot read '" + profile + "'");
    EXPECT_GE(seconds_, 2.0);
    EXPECT_EQ(ReadBytes(list_), stamped);
    EXPECT_TRUE(IsReadOnly(list_));
    EXPECT_TRUE(OnlyListAndBackupInScratch());
  }
}

// Operations that meet held files share the run's waits (counted by the
// test build, not slept): one waits what those before it left of the
// budget, and nothing once one has waited its whole time in vain. Held
// here: the stale backup for a few tries, and the new list's creation time
// and permissions, which are carried after the swap (a warning when that
// fails, so the run goes on to the next).
TEST_F(HeldFileRunTest, OperationsThatMeetHeldFilesShareTheRunsWaits) {
  const std::string program = InstallProgram(kProfile, TAVRIN_FAULTY_EXE);
  const std::string trace = (scratch_.path() / "bin" / "trace.txt").string();
  options_.environment["TAVRIN_FAULT_TRACE"] = trace;
  // The operations that a run made, each with the waits that followed its calls, in ms.
  const auto run_waits = [&](const std::string& faults) {
    WriteBytes(list_, kList);
    WriteBytes(backup_, "stale");
    DeleteFileA(trace.c_str());
    options_.environment["TAVRIN_FAULT"] = faults;
    ExpectQuietSuccess(Run(program));
    EXPECT_EQ(ReadBytes(backup_), kList) << faults;
    std::map<std::string, int> waits;
    std::istringstream lines(ReadBytes(trace));
    std::string operation;
    for (std::string line; std::getline(lines, line);) {
      const std::string name = line.substr(0, line.find('\t'));
      if (name == "wait") {
        waits[operation] += std::stoi(line.substr(name.size() + 1));
      } else {
        operation = name;
        waits.emplace(name, 0);
      }
    }
    return waits;
  };
  const std::string held = ":" + std::to_string(ERROR_SHARING_VIOLATION);
  const int whole = run_waits("open-attributes" + held)["open-attributes"];
  EXPECT_GT(whole, 2000);
  auto waits = run_waits("open-attributes" + held + ";carry-access-control" + held);
  EXPECT_EQ(waits["open-attributes"], whole);
  EXPECT_EQ(waits.count("carry-access-control"), 1u) << "not made";
  EXPECT_EQ(waits["carry-access-control"], 0);
  waits = run_waits("rename" + held + "*8;open-attributes" + held);
  EXPECT_GT(waits["rename"], 0);
  EXPECT_GT(waits["open-attributes"], 0);
  EXPECT_LT(waits["open-attributes"], whole);
  EXPECT_LE(waits["rename"] + waits["open-attributes"], int(platform::kRunWaitBudgetMs));
}

TEST_F(HeldFileRunTest, RemovesTempFilesOfKilledRunsButNotOfLiveOnes) {
  const std::string stale = scratch_ / "~tavrin-4000000.tmp";
  const std::string live = scratch_ / "~tavrin-4000001-2.tmp";
  WriteBytes(stale, "left by a killed run");
  WriteBytes(live, "being written");
  const FileHolder live_run(live, "read");
  ExpectQuietSuccess(Run());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(ReadBytes(live), "being written");
  EXPECT_EQ(ReadBytes(list_), StampFor("0.0") + "\r\n");
}

}  // namespace
