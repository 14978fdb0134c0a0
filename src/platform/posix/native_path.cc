// Paths in Windows form as POSIX takes them, and the errors that name both.
#include "platform/posix/native_path.h"

#include <algorithm>
#include <cstring>

#include "base/windows_path.h"
#include "platform/system_error.h"

namespace platform {

std::string NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  // ASCII letters only, in lower case.
  const char drive = path.empty() ? '\0' : static_cast<char>(path[0] | 0x20);
  if (path.size() < 2 || path[1] != ':' || drive < 'a' || drive > 'z') return native;
  // "C:name" is relative to the drive's current directory, which POSIX
  // does not have: take the drive's root.
  const bool rooted = path.size() == 2 || native[2] == '/';
  return std::string("/mnt/") + drive + (rooted ? "" : "/") + native.substr(2);
}

std::string DirectoryOf(const std::string& path) {
  const std::string directory = base::ParentDirectory(path);
  return directory.empty() ? "." : directory;
}

base::RunError MakeSystemError(const std::string& action, const std::string& path,
                               SystemCode code) {
  const std::string native = NativePath(path);
  const std::string at = native == path ? "" : " (at " + native + ")";
  return base::RunError(action, path, std::strerror(static_cast<int>(code)) + at);
}

}  // namespace platform
