#include "platform/system_error.h"

#include <cstring>

#include "platform/posix/native_path.h"

namespace platform {

base::RunError MakeSystemError(const std::string& action, const std::string& path,
                               SystemCode code) {
  std::string reason = std::strerror(static_cast<int>(code));
  const std::string native = NativePath(path);
  if (native != path) reason += " (at " + native + ")";
  return base::RunError(action, path, reason);
}

}  // namespace platform
