#include "platform/posix/system_error.h"

#include <cstring>

#include "platform/posix/native_path.h"

namespace platform {

RunError SystemError(const std::string& action, const std::string& path, int error_number) {
  std::string reason = std::strerror(error_number);
  const std::string native = NativePath(path);
  if (native != path) reason += " (at " + native + ")";
  return RunError(action, path, reason);
}

}  // namespace platform
