#include "platform/system_error.h"

#include <cstring>

#include "platform/posix/native_path.h"

namespace platform {

base::RunError MakeSystemError(const std::string& action, const std::string& path,
                               SystemCode code) {
  const std::string native = NativePath(path);
  const std::string at = native == path ? "" : " (at " + native + ")";
  return base::RunError(action, path, std::strerror(static_cast<int>(code)) + at);
}

}  // namespace platform
