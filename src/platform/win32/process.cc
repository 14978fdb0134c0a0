#include "platform/process.h"

#include <windows.h>

#include <vector>

#include "platform/system_error.h"

namespace platform {

namespace {

void WriteErrorLine(const std::string& line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// An Error entry from the source "tavrin" in the Application event log: the
// message, and the program's path, which tells which copy ran. The source is
// not registered (that takes registry writes), so Event Viewer shows its
// "description for Event ID 1 ... cannot be found" preamble and then these two
// strings, each on a line of its own.
void LogError(const std::string& message) {
  std::string program = "Program: ";
  try {
    program += ExecutablePath();
  } catch (...) {
    program += "(unknown)";
  }
  const HANDLE source = RegisterEventSourceA(nullptr, "tavrin");
  if (source == nullptr) return;
  const char* strings[] = {message.c_str(), program.c_str()};
  const DWORD event_id = 1;
  ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, event_id, nullptr, 2, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

void PrepareUnattendedRun() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void ReportFailure(const std::string& message) {
  // Neither write may keep the other from happening or end the run abnormally.
  try {
    WriteErrorLine("tavrin: " + message);
  } catch (...) {
  }
  try {
    LogError(message);
  } catch (...) {
  }
}

std::string LookUpEnvironment(const std::string& name) {
  std::vector<char> buffer(4096);
  for (;;) {
    const DWORD count =
        GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    // A value that does not fit makes the lookup report the size it needs,
    // its terminating null included; then ask again with that size.
    if (count < buffer.size()) return std::string(buffer.data(), count);
    buffer.resize(count);
  }
}

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      throw MakeSystemError("cannot find the program's own file", "", GetLastError());
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableDirectory() {
  const std::string path = ExecutablePath();
  const size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return path;
  // A drive's root keeps its backslash: "C:\".
  return path.substr(0, separator == 2 && path[1] == ':' ? 3 : separator);
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
