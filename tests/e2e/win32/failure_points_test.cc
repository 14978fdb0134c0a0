// Every failure point of a run, enumerated: from a handful of starting
// states, one clean run of the test build of the program is traced (each
// file operation it makes, in order), and then the same start is run again
// once per operation in the trace, killed just before it, and once per error
// that Windows plausibly gives that operation, failing with it from then on.
// After each case, the promises of the docs are checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_fixture.h"
#include "support/win32/wine.h"

namespace fs = std::filesystem;

namespace {

// The exit code of a run that the fault injection ends before a call.
constexpr int kKilled = 99;

const std::string kProfile = "[Intern]\r\nText1=Velmo Service Pack 2.1\r\n";
const std::string kOther = "not the list's business\r\n";

// What the docs say a run does when an operation fails with an error.
enum class Outcome {
  kEndsRun,   // exit 1, and its one line gives the error
  kAbsorbed,  // a fallback the docs describe: exit 0, the list stamped
  kWarns,     // after the swap: exit 0, the list stamped, a warning entry
  kEither,    // the docs promise no more than nothing lost
};

struct Fault {
  DWORD error;
  Outcome outcome;
};

// The errors that Windows plausibly gives each file operation of a run, and
// the outcome that the docs give for each: the README's table of bad inputs,
// docs/design.md and docs/windows.md ("Files that other programs hold", "The
// swap", "The list's permissions"). A file held for good gives a sharing
// violation, or "access denied" where it is being deleted or replaced; a full
// disk refuses what needs room. Operations that only ask about an open file
// are killed before, not failed. An operation of a trace that is missing here
// fails the test.
const std::map<std::string, std::vector<Fault>>& FaultTable() {
  constexpr DWORD kHeld = ERROR_SHARING_VIOLATION, kDenied = ERROR_ACCESS_DENIED,
                  kFull = ERROR_DISK_FULL, kOtherVolume = ERROR_NOT_SAME_DEVICE,
                  kTaken = ERROR_FILE_EXISTS;
  using O = Outcome;
  static const std::map<std::string, std::vector<Fault>> table = {
      // InstallSp.ini held past the wait or unreadable: "cannot read",
      // nothing touched.
      {"open-ordinary", {{kHeld, O::kEndsRun}, {kDenied, O::kEndsRun}}},
      // Looks at a path: nothing is lost, whatever the look concludes (a
      // list that cannot be looked at, or one that looks changed, which is
      // stamped anew until the run gives up).
      {"look-at", {{kDenied, O::kEither}}},
      {"get-attributes", {{kDenied, O::kEither}}},
      {"get-information", {}},
      // The short-name check and the removal of stale temp files never fail
      // a run.
      {"find-first", {{kDenied, O::kAbsorbed}}},
      {"find-next", {{kDenied, O::kAbsorbed}}},
      // Taking read-only from a stale backup that is to be replaced: where
      // it cannot be taken, Windows replaces nothing (Wine 8 does), and the
      // run ends with nothing lost.
      {"set-attributes-quietly", {{kDenied, O::kEither}}},
      {"delete-quietly", {{kHeld, O::kAbsorbed}, {kDenied, O::kAbsorbed}}},
      {"close-quietly", {{kDenied, O::kAbsorbed}}},
      // A list held against deletion ends the run, nothing left behind;
      // permissions that deny deleting the list alone say nothing of
      // holders (Wine keeps no such permissions: only this row checks it).
      {"open-for-delete", {{kHeld, O::kEndsRun}, {kDenied, O::kAbsorbed}}},
      // The list held for good, or unreadable: the run ends after the wait.
      {"open-for-reading", {{kHeld, O::kEndsRun}, {kDenied, O::kEndsRun}}},
      // A read of the list or of InstallSp.ini refused by another program's
      // lock: the run ends.
      {"read", {{ERROR_LOCK_VIOLATION, O::kEndsRun}}},
      // A taken temp name: the next name. A read-only directory or a full
      // disk: "cannot create the new list beside", nothing lost.
      {"create-new", {{kTaken, O::kAbsorbed}, {kDenied, O::kEndsRun}, {kFull, O::kEndsRun}}},
      // A full disk: "cannot write", nothing lost, the stale backup whole.
      {"write", {{kFull, O::kEndsRun}}},
      {"truncate", {{kFull, O::kEndsRun}}},
      {"flush", {{kFull, O::kEndsRun}}},
      {"close", {{kFull, O::kEndsRun}}},
      // Making the list writable for its backup, or read-only after the swap.
      {"set-attributes", {{kDenied, O::kEither}}},
      // A volume without hard links, or a backup on another volume: a
      // flushed copy. A taken temp name: the next name.
      {"hard-link",
       {{kOtherVolume, O::kAbsorbed},
        {kDenied, O::kAbsorbed},
        {kTaken, O::kAbsorbed},
        {kFull, O::kEndsRun}}},
      // A stale backup or a list that cannot be replaced (held for good):
      // the run ends, the list and the stale backup as they were.
      {"rename", {{kHeld, O::kEndsRun}, {kDenied, O::kEndsRun}, {kFull, O::kEndsRun}}},
      // The old list's permissions and creation time, read before the swap
      // and carried after it: a failure is a warning, the run succeeds.
      {"get-security", {{kDenied, O::kWarns}}},
      {"open-attributes", {{kHeld, O::kWarns}, {kDenied, O::kWarns}}},
      {"set-creation-time", {{kDenied, O::kWarns}}},
      {"volume-information", {}},
      {"carry-access-control", {{kHeld, O::kWarns}, {kDenied, O::kWarns}}},
      // The run's turn: where it cannot be had, the run goes on without one.
      {"turn-security", {{ERROR_NOT_ENOUGH_MEMORY, O::kAbsorbed}}},
      {"open-turn", {{kDenied, O::kAbsorbed}}},
      {"create-turn", {{kDenied, O::kAbsorbed}}},
      {"wait-turn", {{ERROR_INVALID_HANDLE, O::kAbsorbed}}},
      {"release-turn", {{kDenied, O::kAbsorbed}}},
      {"close-turn", {{ERROR_INVALID_HANDLE, O::kAbsorbed}}},
  };
  return table;
}

// A starting state of the list's directory: the files there besides an
// unrelated one, and the list that a run makes of it.
struct Start {
  std::string name;
  std::optional<std::string> list;
  std::optional<std::string> backup;
  std::string new_list;
  bool read_only = false;
  bool stale_temp = false;  // a temp file of a killed run, and a read-only stale backup
  bool read_only_backup = false;
  bool second_name = false;  // a second name of the list that a failed run left
};

std::string Utf16List(const std::string& ascii) {
  return "\xFF\xFE" + Utf16Bytes(std::u16string(ascii.begin(), ascii.end()));
}

std::vector<Start> Starts() {
  const std::string old_list = "Tools\r\nService Pack 1\r\n";
  const std::string new_list = "Tools\r\n" + StampFor("2.1") + "\r\n";
  return {
      {"no list", std::nullopt, std::nullopt, StampFor("2.1") + "\r\n"},
      {"a list and no backup", old_list, std::nullopt, new_list},
      {"a list, a read-only stale backup and a killed run's temp file", old_list,
       "stale backup\r\n", new_list, false, true},
      {"a UTF-16 LE list with its mark", Utf16List(old_list), std::nullopt, Utf16List(new_list)},
      // No backup: a failure after the backup was made removes it again,
      // which must not take the attribute from the list's file.
      {"a read-only list and no backup", old_list, std::nullopt, new_list, true},
      // A reader that came after a run's look at the list left its second
      // name; the stale backup is a read-only copy made by hand.
      {"a read-only list with a failed run's second name, a read-only stale backup", old_list,
       "stale backup\r\n", new_list, true, false, true, true},
      // Written as it comes and cut back in the new file where its marker
      // turns up.
      {"a list with a marked line longer than the write buffer",
       "Tools\r\n" + std::string(200 * 1024, 'x') + " Service Pack 1\r\n", std::nullopt, new_list},
  };
}

// One operation of a traced run: its name, the path it concerned, and
// which call of that operation it was.
struct Point {
  std::string operation;
  std::string path;
  int nth = 0;
};

std::vector<Point> PointsIn(const std::string& trace) {
  std::vector<Point> points;
  std::map<std::string, int> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    const std::string operation = line.substr(0, tab);
    if (operation == "wait") continue;  // a wait for a held file, no operation
    points.push_back({operation, line.substr(tab + 1), ++calls[operation]});
  }
  return points;
}

std::optional<std::string> Contents(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return ReadBytes(path);
}

std::string Show(const std::optional<std::string>& contents) {
  return contents ? "'" + *contents + "'" : "nothing";
}

// Those that the program changes; Wine may add "archive" to any file.
DWORD Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str()) &
         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

bool IsTempName(const std::string& name) {
  return name.rfind("~tavrin-", 0) == 0 && name.size() > 12 &&
         name.compare(name.size() - 4, 4, ".tmp") == 0;
}

class FailurePointsTest : public TavrinRunTest {
 protected:
  FailurePointsTest()
      : other_(scratch_ / "Other.txt"),
        faulty_(InstallProgram(kProfile, TAVRIN_FAULTY_EXE)),
        shipped_(InstallProgram(kProfile, TAVRIN_EXE)),
        profile_((scratch_.path() / "bin" / "InstallSp.ini").string()),
        trace_((scratch_.path() / "bin" / "trace.txt").string()) {}

  // Empties the list's directory (but for the programs' folder) and puts the
  // start's files there.
  void Prepare(const Start& start) {
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      const std::string path = entry.path().string();
      if (entry.path().filename() == "bin") continue;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
    WriteBytes(other_, kOther);
    if (start.list) WriteBytes(list_, *start.list);
    if (start.backup) WriteBytes(backup_, *start.backup);
    if (start.stale_temp) {
      WriteBytes(scratch_ / "~tavrin-4000000.tmp", "left by a killed run");
      SetFileAttributesA(backup_.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (start.second_name)
      CreateHardLinkA((scratch_ / "~tavrin-4000000-1.tmp").c_str(), list_.c_str(), nullptr);
    if (start.read_only) SetFileAttributesA(list_.c_str(), FILE_ATTRIBUTE_READONLY);
    if (start.read_only_backup)
      SetFileAttributesA(backup_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    attributes_ = {Attributes(list_), Attributes(backup_)};
    temp_names_ = TempNames();
  }

  ProgramRun RunWith(const std::string& program, const std::string& fault) {
    options_.environment.erase("TAVRIN_FAULT");
    if (!fault.empty()) options_.environment["TAVRIN_FAULT"] = fault;
    return Run(program);
  }

  std::vector<Point> Trace(const Start& start) {
    Prepare(start);
    DeleteFileA(trace_.c_str());
    options_.environment["TAVRIN_FAULT_TRACE"] = trace_;
    const ProgramRun run = RunWith(faulty_, "");
    options_.environment.erase("TAVRIN_FAULT_TRACE");
    ExpectQuietSuccess(run);
    EXPECT_EQ(Contents(list_), start.new_list) << start.name;
    const std::vector<Point> points = PointsIn(ReadBytes(trace_));
    // The order that makes the swap durable: the new list flushed, and the
    // old one kept as the backup, before the new list takes its place.
    size_t flushed = points.size(), backed_up = points.size(), swapped = points.size();
    for (size_t i = 0; i < points.size(); ++i) {
      const std::string name = fs::path(points[i].path).filename().string();
      if (points[i].operation == "flush" && IsTempName(name) && swapped == points.size())
        flushed = i;
      if (points[i].operation == "rename" && points[i].path == backup_) backed_up = i;
      if (points[i].operation == "rename" && points[i].path == list_) swapped = i;
    }
    EXPECT_LT(flushed, swapped) << start.name << ": the new list is not flushed before the swap";
    if (start.list) {
      EXPECT_LT(backed_up, swapped) << start.name << ": no backup before the swap";
    }
    return points;
  }

  // The promises that hold after any run, killed or not: the list's path
  // holds the whole old or the whole new list, the backup the stale backup
  // or the old list (and is there if there was one), nothing else in the
  // directory changed but temp files; exit 0 only with the list stamped,
  // read-only, with its backup; exit 1 with one line naming a path and the
  // list as it was. `after_swap` allows what a run that was killed after
  // the swap leaves, and a clean run after it makes: the new list as the
  // backup too.
  std::vector<std::string> BrokenPromises(const Start& start, const ProgramRun& run,
                                          bool after_swap, bool attributes_kept = true) const {
    std::vector<std::string> broken;
    const auto list = Contents(list_);
    const auto backup = Contents(backup_);
    if (list != start.list && list != start.new_list) broken.push_back("the list is " + Show(list));
    // The backup that a finished run leaves.
    const bool backup_done =
        start.list ? backup == start.list || (after_swap && backup == start.new_list)
                   : backup == start.backup || (after_swap && backup == start.new_list);
    if (!backup_done && backup != start.backup) broken.push_back("the backup is " + Show(backup));
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "Software.txt" && name != "Software.bak" && name != "Other.txt" &&
          name != "bin" && !IsTempName(name))
        broken.push_back("a new file " + name);
    }
    if (Contents(other_) != kOther) broken.push_back("another file changed");
    if (Contents(profile_) != kProfile) broken.push_back("InstallSp.ini changed");
    if (run.exit_code == 0) {
      if (list != start.new_list) broken.push_back("exit 0 without the new list");
      if (list && !IsReadOnly(list_)) broken.push_back("exit 0 with the list writable");
      if (!backup_done) broken.push_back("exit 0 without the backup: " + Show(backup));
      if (!run.errors.empty()) broken.push_back("exit 0 with errors: " + run.errors);
    } else if (run.exit_code == 1) {
      // Only making the new list read-only, after the swap, fails with the
      // new list in place.
      const bool after_swap_failed =
          list == start.new_list &&
          (run.errors.rfind("tavrin: cannot set the attributes of '" + list_ + "'", 0) == 0 ||
           run.errors.rfind("tavrin: cannot read the attributes of '" + list_ + "'", 0) == 0);
      if (list != start.list && !after_swap_failed)
        broken.push_back("exit 1 with the list changed: " + Show(list));
      if (list == start.list && backup != start.backup)
        broken.push_back("exit 1 without the stale backup: " + Show(backup));
      // Each file as it was, attributes included, and no new name of the list.
      if (attributes_kept && list == start.list && Attributes(list_) != attributes_.first)
        broken.push_back("exit 1 with the list's attributes changed");
      if (attributes_kept && backup == start.backup && Attributes(backup_) != attributes_.second)
        broken.push_back("exit 1 with the stale backup's attributes changed");
      for (const std::string& name : TempNames())
        if (!std::binary_search(temp_names_.begin(), temp_names_.end(), name) &&
            Contents(scratch_ / name) == start.list)
          broken.push_back("exit 1 with a second name of the list left: " + name);
      const bool one_line = run.errors.rfind("tavrin: cannot ", 0) == 0 &&
                            run.errors.find('\n') == run.errors.size() - 1;
      const bool names_a_path =
          run.errors.find(": '") != std::string::npos || run.errors.find(" '") != std::string::npos;
      if (!one_line || !names_a_path) broken.push_back("exit 1 with " + run.errors);
    } else if (run.exit_code != kKilled) {
      broken.push_back("exit " + std::to_string(run.exit_code));
    }
    return broken;
  }

  std::vector<std::string> TempNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch_.path()))
      if (IsTempName(entry.path().filename().string()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  bool TempFileLeft() const { return !TempNames().empty(); }

  // Runs one case from `start` and returns what broke, with `expected`
  // checked for an injected error.
  std::vector<std::string> RunCase(const Start& start, const std::string& fault,
                                   std::optional<Fault> expected) {
    Prepare(start);
    const ProgramRun run = RunWith(faulty_, fault);
    // A look at one name, or setting its attributes, refused for good while
    // the same file answers at another name is the injection's alone: the
    // system decides by directory and file. The attributes, which those
    // would give back, are not checked then.
    const bool attributes_kept = !expected || expected->outcome != Outcome::kEither;
    std::vector<std::string> broken = BrokenPromises(start, run, false, attributes_kept);
    if (expected) {
      const std::string code = "(error " + std::to_string(expected->error) + ")";
      switch (expected->outcome) {
        case Outcome::kEndsRun:
          if (run.exit_code != 1 || run.errors.find(code) == std::string::npos)
            broken.push_back("no failure with " + code + " but exit " +
                             std::to_string(run.exit_code) + ": " + run.errors);
          break;
        case Outcome::kAbsorbed:
        case Outcome::kWarns:
          if (run.exit_code != 0)
            broken.push_back("not absorbed: exit " + std::to_string(run.exit_code) + ": " +
                             run.errors);
          break;
        case Outcome::kEither:
          break;
      }
    } else if (run.exit_code != kKilled) {
      broken.push_back("not killed: exit " + std::to_string(run.exit_code));
    }
    // A clean run of the shipped program finishes the job and removes
    // whatever temp file is left.
    if (!expected || TempFileLeft() || run.exit_code != 0) {
      const ProgramRun next = RunWith(shipped_, "");
      for (const std::string& promise : BrokenPromises(start, next, true))
        broken.push_back("then " + promise);
      if (next.exit_code != 0)
        broken.push_back("then exit " + std::to_string(next.exit_code) + ": " + next.errors);
      if (TempFileLeft()) broken.push_back("then a temp file left");
    }
    return broken;
  }

  const std::string other_;
  const std::string faulty_;
  const std::string shipped_;
  const std::string profile_;
  const std::string trace_;
  std::pair<DWORD, DWORD> attributes_;   // of the list and the backup at the start
  std::vector<std::string> temp_names_;  // at the start
};

TEST_F(FailurePointsTest, KeepsEveryPromiseAtEveryPointOfARun) {
  if (!RunningOnWine()) GTEST_SKIP() << "runs some thousand programs: under Wine only";
  size_t points = 0, cases = 0, broken_promises = 0;
  std::map<DWORD, bool> errors;
  for (const Start& start : Starts()) {
    const std::vector<Point> trace = Trace(start);
    ASSERT_GT(trace.size(), 10u) << start.name;
    points += trace.size();
    for (const Point& point : trace) {
      const auto row = FaultTable().find(point.operation);
      ASSERT_NE(row, FaultTable().end()) << "an operation not in the table: " << point.operation;
      const std::string at = point.operation + "#" + std::to_string(point.nth);
      std::vector<std::pair<std::string, std::optional<Fault>>> faults = {{at + ":kill", {}}};
      for (const Fault& fault : row->second) {
        faults.push_back({at + ":" + std::to_string(fault.error), fault});
        errors[fault.error] = true;
      }
      for (const auto& [fault, expected] : faults) {
        ++cases;
        for (const std::string& promise : RunCase(start, fault, expected)) {
          ++broken_promises;
          ADD_FAILURE() << start.name << ", " << fault << " on " << point.path << ": " << promise;
        }
      }
    }
  }
  std::printf("%zu points x %zu faults (a kill and %zu errors), %zu cases, %zu broken promises\n",
              points, errors.size() + 1, errors.size(), cases, broken_promises);
  RecordProperty("cases", std::to_string(cases));
}

}  // namespace
