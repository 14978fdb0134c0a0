#include "platform/system_error.h"

#include <windows.h>

namespace platform {

namespace {

std::string MessageFor(DWORD error_code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error_code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string message(buffer ? buffer : "", length);
  LocalFree(buffer);
  // One line: the system's messages end in ".\r\n".
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  const std::string code = "error " + std::to_string(error_code);
  return message.empty() ? code : message + " (" + code + ")";
}

}  // namespace

base::RunError MakeSystemError(const std::string& action, const std::string& path,
                               SystemCode code) {
  return base::RunError(action, path, MessageFor(code));
}

}  // namespace platform
