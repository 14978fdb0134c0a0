#include "platform/process.h"

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

// `text` in UTF-16: no ANSI code page gives more units than it takes bytes.
std::wstring Widen(std::string_view text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                              wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// `wide` in the ANSI code page where the code page holds it exactly: then
// its bytes read back as the same text. A best-fit or default character
// reads back as another; so does a lone surrogate, which UTF-8 cannot hold
// either. Else throws `action` on `name` (on the inexact text where empty):
// `why`.
std::string NarrowExactly(const std::wstring& wide, const char* action, const std::string& name,
                          const char* why) {
  const std::string narrow =
      NarrowToAnsi({reinterpret_cast<const char16_t*>(wide.data()), wide.size()});
  if (Widen(narrow) != wide) throw base::RunError(action, name.empty() ? narrow : name, why);
  return narrow;
}

// The text that `get` writes into a buffer of `size` units, returning its
// length; where it does not fit, `get` returns at least `size` (the
// environment: the size it needs), and a larger buffer is tried.
template <typename Get>
std::wstring ReadWide(Get get) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = get(text.data(), static_cast<DWORD>(text.size()));
    if (length < text.size()) return text.substr(0, length);
    text.resize(length > text.size() ? length : text.size() * 2);
  }
}

}  // namespace

void PrepareUnattendedRun() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void ReportFailure(const std::string& message) {
  // Neither write may keep the other from happening or end the run abnormally
  // (LogEvent is quiet). Without a standard error stream the write fails.
  try {
    const std::string line = "tavrin: " + message + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
  } catch (...) {
  }
  LogEvent(EVENTLOG_ERROR_TYPE, message);
}

std::string LookUpEnvironment(const std::string& name) {
  const std::wstring wide_name = Widen(name);
  const std::wstring value = ReadWide([&](wchar_t* buffer, DWORD size) {
    return GetEnvironmentVariableW(wide_name.c_str(), buffer, size);
  });
  return NarrowExactly(value, "cannot use the environment variable", name,
                       "its value has characters that the ANSI code page lacks");
}

std::string ExecutablePath() {
  const std::wstring path = ReadWide(
      [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
  if (path.empty()) throw MakeSystemError("cannot find the program's own file", "", GetLastError());
  return NarrowExactly(path, "cannot use the program's own path", "",
                       "it has characters that the ANSI code page lacks");
}

base::LeadBytes AnsiLeadBytes() {
  base::LeadBytes lead;
  for (int byte = 0x80; byte <= 0xFF; ++byte)
    if (IsDBCSLeadByte(static_cast<BYTE>(byte))) lead.set(static_cast<size_t>(byte));
  return lead;
}

// Best-fit and default characters where the code page lacks one. No flags
// and no "default used" flag: for some code pages, UTF-8 among them
// (Windows 10 can have it as the ANSI code page), the conversion refuses
// both. No ANSI code page takes more than 3 bytes (UTF-8) for a unit.
std::string NarrowToAnsi(std::u16string_view text) {
  std::string narrow(text.size() * 3, '\0');
  narrow.resize(static_cast<size_t>(WideCharToMultiByte(
      CP_ACP, 0, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
      narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr)));
  return narrow;
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
