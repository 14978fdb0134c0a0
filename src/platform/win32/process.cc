#include "platform/process.h"

#include <windows.h>

#include <vector>

#include "platform/system_error.h"
#include "platform/win32/event_log.h"

namespace platform {

namespace {

// Texts are ANSI code page bytes throughout the program, as the "A"
// functions take them. The environment and the program's path are read in
// UTF-16, as the system keeps them, and refused where the code page cannot
// hold them exactly: the "A" functions would give a best-fit or default
// character instead ("o" or "?" for U+014D in code page 1252), a path that
// names another file, or none.

std::wstring Widen(std::string_view text) {
  const int size = static_cast<int>(text.size());
  std::wstring wide(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

// `wide` in the ANSI code page, with best-fit and default characters where it
// lacks one.
std::string Narrow(std::wstring_view wide) {
  const int size = static_cast<int>(wide.size());
  // No flags and no "default used" flag: for some code pages, UTF-8 among
  // them (Windows 10 can have it as the ANSI code page), the conversion
  // refuses both.
  std::string narrow(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr,
                                                             0, nullptr, nullptr)),
                     '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, narrow.data(), static_cast<int>(narrow.size()),
                      nullptr, nullptr);
  return narrow;
}

// Whether the code page holds `wide` exactly: then its bytes read back as the
// same text. A best-fit or default character reads back as another; so does
// a lone surrogate, which UTF-8 cannot hold either. `*narrow` gets the text
// in the code page, exact or not.
bool NarrowExactly(const std::wstring& wide, std::string* narrow) {
  *narrow = Narrow(wide);
  return Widen(*narrow) == wide;
}

// The program's path as the system has it.
std::wstring WideExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      throw MakeSystemError("cannot find the program's own file", "", GetLastError());
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

void WriteErrorLine(const std::string& line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

void PrepareUnattendedRun() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void ReportFailure(const std::string& message) {
  // Neither write may keep the other from happening or end the run abnormally
  // (LogEvent is quiet).
  try {
    WriteErrorLine("tavrin: " + message);
  } catch (...) {
  }
  LogEvent(EVENTLOG_ERROR_TYPE, kFailureEventId, message);
}

std::string LookUpEnvironment(const std::string& name) {
  const std::wstring wide_name = Widen(name);
  std::vector<wchar_t> buffer(4096);
  for (;;) {
    const DWORD count = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer.size()));
    // A value that does not fit makes the lookup report the size it needs,
    // its terminating null included; then ask again with that size.
    if (count < buffer.size()) {
      std::string value;
      if (!NarrowExactly(std::wstring(buffer.data(), count), &value))
        throw base::RunError("cannot use the environment variable", name,
                             "its value has characters that the ANSI code page lacks");
      return value;
    }
    buffer.resize(count);
  }
}

std::string ExecutablePath() {
  std::string narrow;
  if (!NarrowExactly(WideExecutablePath(), &narrow))
    throw base::RunError("cannot use the program's own path", narrow,
                         "it has characters that the ANSI code page lacks");
  return narrow;
}

base::LeadBytes AnsiLeadBytes() {
  base::LeadBytes lead;
  for (int byte = 0x80; byte <= 0xFF; ++byte)
    if (IsDBCSLeadByte(static_cast<BYTE>(byte))) lead.set(static_cast<size_t>(byte));
  return lead;
}

std::string NarrowToAnsi(std::u16string_view text) {
  return Narrow({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessIsRunning(unsigned long process_id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace platform
