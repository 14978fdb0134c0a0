// Visits every point where the program touches the file system: traces one
// clean run of the built program for each starting state, then runs the same
// start again once per traced call, killed just before it and with it failing
// with each error it can plausibly get, and checks after every run that
// nothing promised was lost.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/run_program.h"
#include "support/scratch.h"
#include "support/stamp_model.h"

namespace fs = std::filesystem;

namespace {

const char kStrace[] = "/usr/bin/strace";

// One call of a clean run, as strace shows it.
struct Call {
  std::string name;
  int occurrence = 0;  // of calls of this name, this one included: strace's "when"
  std::string object;  // the path it acts on; for linkat and rename the new name
  std::string from;    // the first path it names
  std::string fd;      // the descriptor it acts on, or that it opens
  bool creates = false, on_directory = false, own_temp = false;
  std::string line;
};

// The calls in a trace that take a path or a descriptor (strace's classes
// %file and %desc), but the program's own start and the memory mappings.
std::vector<Call> ParseTrace(const std::string& trace, const std::string& pid) {
  std::map<std::string, std::pair<std::string, bool>> descriptors;  // fd: path, is a directory
  std::map<std::string, int> occurrences;
  std::vector<Call> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const size_t open = line.find('('), result = line.rfind(" = ");
    if (open == std::string::npos || result == std::string::npos) continue;
    Call call;
    const size_t name = line.find_first_not_of(' ', line.find(' '));
    call.name = line.substr(name, open - name);
    if (call.name == "execve" || call.name == "mmap" || call.name == "munmap") continue;
    call.occurrence = ++occurrences[call.name];
    const std::string args = line.substr(open + 1, result - open);
    for (size_t quote = args.find('"'); quote != std::string::npos;) {
      size_t end = quote + 1;
      while (args[end] != '"') end += args[end] == '\\' ? 2 : 1;
      if (end > quote + 1) call.object = args.substr(quote + 1, end - quote - 1);
      if (call.from.empty()) call.from = call.object;
      quote = args.find('"', end + 1);
    }
    call.fd =
        call.name == "openat" ? line.substr(result + 3) : args.substr(0, args.find_first_of(",)"));
    if (call.object.empty() && descriptors.count(call.fd))
      std::tie(call.object, call.on_directory) = descriptors[call.fd];
    call.creates = args.find("O_CREAT") != std::string::npos;
    call.on_directory |=
        args.find("O_DIRECTORY") != std::string::npos || fs::is_directory(call.object);
    if (call.name == "openat") descriptors[call.fd] = {call.object, call.on_directory};
    call.own_temp = call.object.find("/~tavrin-" + pid) != std::string::npos;
    call.line = line;
    calls.push_back(call);
  }
  return calls;
}

enum Outcome { kDone, kFails, kEither };

// What an injected error must end in, the first match winning, as
// docs/developing.md states it: absorbed by a fallback (exit 0, the list
// stamped), the end of the run (exit 1, one line, nothing lost), or either.
struct Rule {
  const char* call;
  const char* object;  // "temp", "stale", "directory", "profile", "libc" or "*"
  const char* errors;
  Outcome outcome;
};
const Rule kRules[] = {
    {"*", "libc", "*", kDone},               // the C library's start does without /proc/self/exe
    {"*", "stale", "*", kDone},              // removing stale temp files never fails a run
    {"*", "directory", "*", kDone},          // nor does their search, nor the directory flush
    {"openat", "profile", "ENOENT", kDone},  // no InstallSp.ini: version 0.0
    {"linkat", "*", "EXDEV EMLINK EPERM", kDone},  // no second name there: a flushed copy
    {"*", "temp", "EEXIST EAGAIN", kDone},         // a taken (or held) temp name: the next one
    {"fchown", "*", "EPERM", kDone},  // only root gives a file away: it stays the runner's
    {"close", "file", "*", kEither},  // only read: the list, or the source of a copy
    {"statx", "*", "*", kDone},       // where the system cannot tell, nothing stands in the way
    {"unlink", "temp", "*", kDone},   // the second name went with the rename
    // A look that fails is taken as a change by another program (the list is
    // stamped anew), as a taken temp name, or ends the run.
    {"newfstatat", "*", "*", kEither},
    {"*", "*", "*", kFails},
};

Outcome Expected(const Call& call, const std::string& error) {
  const std::string kind = call.name == "readlink" && call.occurrence == 1          ? "libc"
                           : call.on_directory || call.name == "getdents64"         ? "directory"
                           : call.own_temp                                          ? "temp"
                           : call.object.find("/~tavrin-") != std::string::npos     ? "stale"
                           : call.object.find("InstallSp.ini") != std::string::npos ? "profile"
                                                                                    : "file";
  const auto matches = [](const std::string& pattern, const std::string& word) {
    return pattern == "*" || (" " + pattern + " ").find(" " + word + " ") != std::string::npos;
  };
  // A statx that follows links, or looks at an open file, is the plain look
  // that stat is; only one at the entry itself looks at its attributes.
  const std::string name =
      call.name == "statx" && call.line.find("AT_SYMLINK_NOFOLLOW") == std::string::npos
          ? "newfstatat"
          : call.name;
  for (const Rule& rule : kRules)
    if (matches(rule.call, name) && matches(rule.object, kind) && matches(rule.errors, error))
      return rule.outcome;
  return kFails;
}

// The errors each call can plausibly get.
std::vector<std::string> FaultsFor(const Call& call) {
  const std::string& n = call.name;
  if (n == "openat")
    return call.creates ? std::vector<std::string>{"EEXIST", "ENOSPC", "EACCES", "EIO"}
                        : std::vector<std::string>{"ENOENT", "EACCES", "EIO"};
  if (n == "write" || n == "pwrite64" || n == "fsync" || n == "fdatasync") return {"ENOSPC", "EIO"};
  if (n == "fchmod" || n == "fchown" || n == "chmod") return {"EPERM", "EIO"};
  if (n == "linkat" || n == "link")
    return {"EXDEV", "EMLINK", "EPERM", "EEXIST", "ENOSPC", "EACCES", "EIO"};
  if (n.rfind("rename", 0) == 0) return {"EACCES", "EPERM", "ENOSPC", "EIO"};
  if (n.rfind("unlink", 0) == 0) return {"EACCES", "EIO"};
  if (n == "newfstatat" || n == "statx" || n == "readlink") return {"ENOENT", "EACCES", "EIO"};
  if (n == "flock") return {"EAGAIN"};
  return {"EIO"};
}

// What a clean run's trace shows out of the order that makes it durable:
// each file written and renamed into place has its rights and read-only state
// before it is flushed, and is flushed before the rename; each rename is
// followed by a flush of its directory.
std::string OrderProblems(const std::vector<Call>& calls) {
  std::string problems;
  for (size_t rename = 0; rename < calls.size(); ++rename) {
    if (calls[rename].name.rfind("rename", 0) != 0) continue;
    const Call& moved = calls[rename];
    size_t created = 0, flushed = 0, rights = 0;
    for (size_t i = 0; i < rename; ++i) {
      const Call& call = calls[i];
      if (call.name == "openat" && call.creates && call.object == moved.from) created = i + 1;
      if (!created || call.fd != calls[created - 1].fd) continue;
      if (call.name == "fsync" || call.name == "fdatasync") flushed = i + 1;
      if (call.name == "fchmod" || call.name == "fchown") rights = i + 1;
    }
    if (created && !flushed) problems += moved.line + ": not flushed before; ";
    if (flushed && (!rights || rights > flushed)) problems += moved.line + ": rights after flush; ";
    const std::string directory = fs::path(moved.object).parent_path();
    bool synced = false;
    for (size_t i = rename + 1; i < calls.size(); ++i)
      synced |= calls[i].name == "fsync" && calls[i].on_directory &&
                fs::path(calls[i].object + "/").lexically_normal() ==
                    fs::path(directory + "/").lexically_normal();
    if (!synced) problems += moved.line + ": its directory is not flushed after; ";
  }
  return problems;
}

// A starting state: the list (nothing when absent), its stale backup.
struct Start {
  const char* name;
  std::optional<std::string> list, stale;
  bool read_only = false, link = false, other_file_system = false, stale_temp = false;
  fs::perms mode = fs::perms(0644);  // the list's, where it is not read-only
};

class FailurePointsTest : public testing::Test {
 protected:
  ~FailurePointsTest() override {
    if (mounted_) umount(mounted_->c_str());
  }

  // Lays out `start` in a fresh directory; false where it cannot be had here.
  bool LayOut(const Start& start) {
    root_ = scratch_ / start.name;
    list_dir_ = root_ + (start.other_file_system ? "/vol.d" : "/lists");
    list_ = list_dir_ + "/Software.txt";
    backup_ = start.other_file_system ? root_ + "/vol.bak" : list_dir_ + "/Software.bak";
    fs::create_directories(list_dir_);
    if (start.other_file_system) {
      if (geteuid() != 0 || mount("tavrin-test", list_dir_.c_str(), "tmpfs", 0, "size=1m") != 0)
        return false;
      mounted_ = list_dir_;
    }
    old_ = start.list;
    new_ = ModelStamp(start.list.value_or(""), StampFor("0.0"));
    // The old list's permission bits, or a new file's, with no write bit for anyone.
    const mode_t mask = umask(0);
    umask(mask);
    new_mode_ = (!start.list       ? fs::perms(0666 & ~mask)
                 : start.read_only ? fs::perms(0444)
                                   : start.mode) &
                ~(fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
    Reset(start);
    return true;
  }

  void Reset(const Start& start) {
    for (const std::string& dir : {list_dir_, root_})
      for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path() != list_dir_) fs::remove_all(entry.path());
    WriteBytes(list_dir_ + "/Other.txt", "other");
    if (start.stale) WriteBytes(backup_, *start.stale);
    if (start.stale) fs::permissions(backup_, start.mode);
    if (start.stale_temp) WriteBytes(list_dir_ + "/~tavrin-999999998.tmp", "stale temp");
    if (!start.list) return;
    const std::string file = start.link ? list_dir_ + "/Real.txt" : list_;
    WriteBytes(file, *start.list);
    fs::permissions(file, start.read_only ? fs::perms(0444) : start.mode);
    if (start.link) fs::create_symlink("Real.txt", list_);
  }

  // Every entry under the state's directory, its bytes (or a link's target) and mode.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      const fs::file_status status = fs::symlink_status(entry.path());
      std::string value = fs::is_symlink(status)     ? "-> " + fs::read_symlink(entry).string()
                          : fs::is_directory(status) ? "dir"
                                                     : ReadBytes(entry.path());
      entries[entry.path()] = value + " mode " + std::to_string(int(status.permissions()));
    }
    return entries;
  }

  // How many temp files there are that `before` did not have.
  int NewTemps(const std::map<std::string, std::string>& before = {}) const {
    int temps = 0;
    for (const auto& [path, value] : Snapshot())
      temps += path.find("/~tavrin-") != std::string::npos && !before.count(path);
    return temps;
  }

  ProgramRun Run(const std::vector<std::string>& strace_arguments, const std::string& trace) {
    ProgramOptions options;
    options.environment["Software_Txt"] = list_;
    if (!strace_arguments.empty()) {
      options.arguments = {"-f", "-s", "0", "-o", trace};
      options.arguments.insert(options.arguments.end(), strace_arguments.begin(),
                               strace_arguments.end());
      options.arguments.push_back(TAVRIN_EXE);
    }
    return RunProgram(strace_arguments.empty() ? TAVRIN_EXE : kStrace, options);
  }

  // What the run broke of the promises, "" when nothing: the list is the old
  // or the new one, the stale backup or the old list is at the backup's path,
  // nothing else changed, the exit status says which, and a failure leaves no
  // temp file and says what failed on which path.
  std::string Broken(const Start& start, const std::map<std::string, std::string>& before,
                     const ProgramRun& run, bool killed) {
    std::ostringstream broken;
    const bool has_list = fs::exists(list_);
    const std::string list = has_list ? ReadBytes(list_) : "(none)";
    const bool is_new = has_list && list == new_;
    if (!is_new && list != old_.value_or("(none)")) broken << "the list is neither old nor new; ";
    const std::string backup = fs::exists(backup_) ? ReadBytes(backup_) : "(none)";
    if (backup != start.stale.value_or("(none)") && backup != old_.value_or("(none)"))
      broken << "the backup is " << backup << "; ";
    if (is_new && old_ && backup != *old_)
      broken << "the new list is in place without its backup; ";
    if (!killed && run.exit_code != 0 && !is_new && backup != start.stale.value_or("(none)"))
      broken << "the failed run did not leave the stale backup; ";
    std::map<std::string, std::string> after = Snapshot();
    for (const auto& [path, value] : before) {
      if (path == list_ || (path == backup_ && (killed || run.exit_code == 0 || is_new)) ||
          path.find("/~tavrin-") != std::string::npos)
        continue;
      if (after[path] != value) broken << path << " changed; ";
    }
    for (const auto& [path, value] : after)
      if (!before.count(path) && path != list_ && path != backup_ &&
          (path.find("/~tavrin-") == std::string::npos || (!killed && run.exit_code != 0)))
        broken << path << " was left; ";
    if (killed) return broken.str();
    const size_t line_end = run.errors.find('\n');
    if (run.exit_code == 0 && (!is_new || !IsReadOnly(list_) || !run.errors.empty()))
      broken << "exit 0 without the list stamped and read-only; ";
    if (run.exit_code == 0 && is_new && fs::status(list_).permissions() != new_mode_)
      broken << "exit 0 with the list's mode " << std::oct << int(fs::status(list_).permissions())
             << std::dec << "; ";
    if (run.exit_code == 1 &&
        (is_new || line_end + 1 != run.errors.size() || run.errors.rfind("tavrin: ", 0) != 0 ||
         run.errors.find(" '/") == std::string::npos))
      broken << "exit 1 without the old list and one line naming a path; ";
    if (run.exit_code == 1 && has_list && before.count(list_) && before.at(list_) != after[list_])
      broken << "the failed run left the list with other rights; ";
    return broken.str();
  }

  ScratchDir scratch_;
  std::optional<std::string> mounted_;
  std::string root_, list_dir_, list_, backup_, new_;
  fs::perms new_mode_ = fs::perms::none;
  std::optional<std::string> old_;
};

TEST_F(FailurePointsTest, EveryKillAndErrorAtEveryFileCallKeepsTheListAndItsBackup) {
  ASSERT_TRUE(fs::exists(kStrace)) << "strace is missing: install it (scripts/test.sh does)";
  if (TAVRIN_SANITIZED)
    GTEST_SKIP() << "the sanitizer's runtime makes file calls of its own, which the table does "
                    "not describe; the native build runs this test";
  const std::string list = "Tools\r\nService Pack 1\r\nMore\r\n";
  const std::vector<Start> starts = {
      {"nolist", std::nullopt, std::nullopt},
      // Lists that others may write: the new one is writable by nobody.
      {"nobackup", list, std::nullopt, false, false, false, false, fs::perms(0666)},
      {"stale", list, "stale backup", false, false, false, true, fs::perms(0464)},
      {"link", list, "stale backup", false, true},
      {"otherfs", list, "stale backup", true, false, true},
      {"utf16", "\xFF\xFE" + Utf16Bytes(u"Tools\r\nService Pack 1\r\n"), "stale backup", false,
       false, false, false, fs::perms(0620)},
      // A line longer than the write buffer whose marker comes last: the new
      // file is written, then cut back.
      {"longline", "Tools\r\n" + std::string(300000, 'x') + "Service Pack 1\r\n", "stale backup"},
  };
  const auto begin = std::chrono::steady_clock::now();
  int points = 0, kills = 0, faults = 0, broken = 0;
  for (const Start& start : starts) {
    if (!LayOut(start)) {
      std::printf("skipped '%s': mounting a file system for the backup needs root\n", start.name);
      continue;
    }
    const std::string trace_file = scratch_ / (std::string(start.name) + ".trace");
    const auto before = Snapshot();
    ProgramRun clean = Run({"-e", "trace=%file,%desc"}, trace_file);
    ASSERT_EQ(clean.exit_code, 0) << start.name << ": " << clean.errors;
    ASSERT_EQ(Broken(start, before, clean, false), "") << start.name;
    const std::string trace = ReadBytes(trace_file);
    const std::vector<Call> calls = ParseTrace(trace, trace.substr(0, trace.find(' ')));
    ASSERT_GT(calls.size(), 20u) << trace;
    const std::string order = OrderProblems(calls);
    broken += !order.empty();
    EXPECT_EQ(order, "") << start.name;
    points += int(calls.size());
    for (const Call& call : calls) {
      std::vector<std::string> injections = {"signal=SIGKILL"};
      for (const std::string& error : FaultsFor(call)) injections.push_back("error=" + error);
      for (const std::string& injection : injections) {
        const bool killed = injection == "signal=SIGKILL";
        Reset(start);
        const auto state = Snapshot();
        const ProgramRun run = Run(
            {"-e", "trace=" + call.name, "-e",
             "inject=" + call.name + ":" + injection + ":when=" + std::to_string(call.occurrence)},
            trace_file);
        std::string problem = Broken(start, state, run, killed);
        const std::string error = injection.substr(injection.find('=') + 1);
        const Outcome outcome = Expected(call, error);
        if (killed ? run.exit_code != -1
                   : ReadBytes(trace_file).find("(INJECTED)") == std::string::npos)
          problem += "the injection missed; ";
        else if (!killed && outcome != kEither && run.exit_code != (outcome == kDone ? 0 : 1))
          problem += "exit " + std::to_string(run.exit_code) + " against the docs; ";
        // Whatever is left, a clean run finishes the job and leaves no temp file.
        if (run.exit_code != 0 || NewTemps(state) != 0) {
          const bool was_new = fs::exists(list_) && ReadBytes(list_) == new_;
          const ProgramRun next = Run({}, "");
          const std::string next_broken = was_new ? "" : Broken(start, state, next, false);
          if (next.exit_code != 0 || !next_broken.empty() || NewTemps() != 0)
            problem += "the next run did not finish: " + next.errors + next_broken;
        }
        (killed ? kills : faults) += 1;
        if (!problem.empty()) ++broken;
        EXPECT_EQ(problem, "") << start.name << ", " << injection << " at " << call.line
                               << "\nstderr: " << run.errors;
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%d points x %d faults, %d kills, %d broken promises (%.0f s)\n", points, faults,
              kills, broken, seconds);
}

}  // namespace
