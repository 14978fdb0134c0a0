#include "platform/console.h"

#include <windows.h>

#include "platform/executable.h"

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

void SuppressErrorDialogs() {
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

}  // namespace platform
