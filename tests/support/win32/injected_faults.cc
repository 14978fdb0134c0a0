// The fault injection of test builds, set by the environment:
//
//   TAVRIN_FAULT=<operation>:<error>       every call of the operation fails
//                                          with that Windows error (decimal)
//   TAVRIN_FAULT=<operation>#<n>:<error>   its n-th call fails, and from then
//                                          on every call of it on the same path
//                                          (a lasting condition: a file held
//                                          for good, a full disk)
//   TAVRIN_FAULT=<operation>#<n>:kill      the process ends just before its
//                                          n-th call, as if killed (exit code
//                                          kKilledExitCode)
//   ...:<error>*<k>                        as above, but only k calls fail (a
//                                          file held for a while)
//   TAVRIN_FAULT=<fault>;<fault>...        several of the above at once
//   TAVRIN_FAULT_TRACE=<file>              each call is added to the file as a
//                                          line "<operation>\t<path>", each wait
//                                          for a held file as "wait\t<ms>"
//   TAVRIN_FAULT_ZERO_INDEX=1              every file has the index 0, as on
//                                          network shares that give no other
//
// With either of the first two set, waits for held files are counted, not slept.
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/faults.h"

namespace platform {

namespace {

constexpr UINT kKilledExitCode = 99;

std::string Variable(const char* name) {
  char value[1024];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length < sizeof value ? std::string(value, length) : std::string();
}

struct Fault {
  std::string operation;
  unsigned long nth = 0;    // 0: every call
  unsigned long times = 0;  // how many calls fail at most; 0: no limit
  bool kill = false;
  DWORD error = 0;
  unsigned long calls = 0, failed = 0;
  std::string faulted_path;

  // The error for one call of the operation on `path`; 0: ask the system.
  DWORD Answer(const std::string& path) {
    ++calls;
    const bool starts = nth == 0 || calls == nth;
    if (starts && kill) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    if (!starts && !(calls > nth && path == faulted_path)) return 0;
    if (times != 0 && failed == times) return 0;
    if (starts) faulted_path = path;
    ++failed;
    return error;
  }
};

// One fault as TAVRIN_FAULT writes it: "<operation>[#<n>]:<error>[*<k>]" or
// "<operation>#<n>:kill".
Fault ParseFault(const std::string& text) {
  Fault fault;
  const size_t colon = text.rfind(':');
  const size_t hash = text.find('#');
  fault.operation = text.substr(0, hash < colon ? hash : colon);
  if (hash < colon) fault.nth = std::strtoul(text.c_str() + hash + 1, nullptr, 10);
  fault.kill = text.compare(colon + 1, std::string::npos, "kill") == 0;
  char* end = nullptr;
  fault.error = static_cast<DWORD>(std::strtoul(text.c_str() + colon + 1, &end, 10));
  if (*end == '*') fault.times = std::strtoul(end + 1, nullptr, 10);
  return fault;
}

struct Settings {
  std::vector<Fault> faults;
  std::string trace;
  bool zero_index = false;
};

Settings ReadSettings() {
  Settings settings;
  settings.trace = Variable("TAVRIN_FAULT_TRACE");
  settings.zero_index = Variable("TAVRIN_FAULT_ZERO_INDEX") == "1";
  std::istringstream faults(Variable("TAVRIN_FAULT"));
  for (std::string fault; std::getline(faults, fault, ';');)
    if (fault.find(':') != std::string::npos) settings.faults.push_back(ParseFault(fault));
  return settings;
}

Settings& TheSettings() {
  static Settings settings = ReadSettings();
  return settings;
}

void Trace(const std::string& file, const std::string& line) {
  const HANDLE trace = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (trace == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(trace, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(trace);
}

}  // namespace

DWORD InjectedFault(const char* operation, const std::string& path) {
  Settings& settings = TheSettings();
  if (!settings.trace.empty()) Trace(settings.trace, std::string(operation) + "\t" + path + "\n");
  DWORD error = 0;
  for (Fault& fault : settings.faults) {
    if (fault.operation != operation) continue;
    const DWORD answer = fault.Answer(path);
    if (error == 0) error = answer;
  }
  return error;
}

bool InjectedWait(DWORD wait_ms) {
  const Settings& settings = TheSettings();
  if (!settings.trace.empty()) Trace(settings.trace, "wait\t" + std::to_string(wait_ms) + "\n");
  return !settings.faults.empty() || !settings.trace.empty();
}

bool InjectedZeroFileIndex() { return TheSettings().zero_index; }

}  // namespace platform
