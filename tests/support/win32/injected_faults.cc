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
//   TAVRIN_FAULT_TRACE=<file>              each call is added to the file as a
//                                          line "<operation>\t<path>"
//
// With either variable set, waits for held files are counted, not slept.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/faults.h"

namespace platform {

namespace {

constexpr UINT kKilledExitCode = 99;

std::string Variable(const char* name) {
  char value[1024];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length < sizeof value ? std::string(value, length) : std::string();
}

struct Settings {
  std::string operation;  // empty: no fault
  unsigned long nth = 0;  // 0: every call
  bool kill = false;
  DWORD error = 0;
  std::string trace;
};

Settings ReadSettings() {
  Settings settings;
  settings.trace = Variable("TAVRIN_FAULT_TRACE");
  const std::string fault = Variable("TAVRIN_FAULT");
  const size_t colon = fault.rfind(':');
  if (colon == std::string::npos) return settings;
  const size_t hash = fault.find('#');
  settings.operation = fault.substr(0, hash < colon ? hash : colon);
  if (hash < colon) settings.nth = std::strtoul(fault.c_str() + hash + 1, nullptr, 10);
  settings.kill = fault.compare(colon + 1, std::string::npos, "kill") == 0;
  settings.error = static_cast<DWORD>(std::strtoul(fault.c_str() + colon + 1, nullptr, 10));
  return settings;
}

const Settings& TheSettings() {
  static const Settings settings = ReadSettings();
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
  const Settings& settings = TheSettings();
  if (!settings.trace.empty()) Trace(settings.trace, std::string(operation) + "\t" + path + "\n");
  if (settings.operation != operation) return 0;
  static unsigned long calls = 0;
  static std::string faulted_path;
  ++calls;
  if (settings.nth == 0 || calls == settings.nth) {
    if (settings.kill) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    faulted_path = path;
    return settings.error;
  }
  return calls > settings.nth && path == faulted_path ? settings.error : 0;
}

bool InjectedWait(DWORD) {
  const Settings& settings = TheSettings();
  return !settings.operation.empty() || !settings.trace.empty();
}

}  // namespace platform
