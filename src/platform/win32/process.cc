#include "platform/process.h"

#include <windows.h>

#include <vector>

#include "platform/system_error.h"

namespace platform {

void SuppressErrorDialogs() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void WriteErrorLine(const std::string& line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
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

std::string ExecutableDirectory() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      throw MakeSystemError("cannot find the program's own file", "", GetLastError());
    if (length < buffer.size()) {
      const std::string path(buffer.data(), length);
      const size_t separator = path.find_last_of("\\/");
      if (separator == std::string::npos) return path;
      // A drive's root keeps its backslash: "C:\".
      return path.substr(0, separator == 2 && path[1] == ':' ? 3 : separator);
    }
    buffer.resize(buffer.size() * 2);
  }
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
