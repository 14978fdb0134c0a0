#include "platform/executable.h"

#include <windows.h>

#include <vector>

#include "platform/win32/system_error.h"

namespace platform {

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) throw SystemError("cannot find the program's own file", "", GetLastError());
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

}  // namespace platform
