#include "platform/system_error.h"

#include <windows.h>

namespace platform {

base::RunError MakeSystemError(const std::string& action, const std::string& path,
                               SystemCode code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string message(buffer ? buffer : "", length);
  LocalFree(buffer);
  // One line: the system's messages end in ".\r\n".
  message.erase(message.find_last_not_of("\r\n .") + 1);
  const std::string number = "error " + std::to_string(code);
  return base::RunError(action, path, message.empty() ? number : message + " (" + number + ")");
}

}  // namespace platform
