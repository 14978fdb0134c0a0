#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/native_path.h"
#include "platform/profile_syntax.h"
#include "platform/system_error.h"

namespace platform {

namespace {

// Far above any real profile; a larger file is refused rather than read
// into memory whole.
constexpr off_t kLargestProfile = 16 << 20;

// The file's bytes; the empty text when there is no file, for then it holds
// no keys, as for the Windows lookup. Whatever else is at the path, or a file
// that cannot be read, is an error. Opened without blocking, so that a FIFO
// is refused rather than waited on.
std::string ReadProfileFile(const std::string& path) {
  const int file = open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "";
    throw MakeSystemError("cannot read", path, static_cast<SystemCode>(errno));
  }
  struct stat info;
  std::string reason;
  if (fstat(file, &info) != 0)
    reason = "cannot look at it";
  else if (!S_ISREG(info.st_mode))
    reason = "it is not an ordinary file";
  else if (info.st_size > kLargestProfile)
    reason = "it is larger than 16 MiB";
  std::string contents;
  char buffer[16384];
  ssize_t count = 0;
  // Bounded by what is read too: files such as /proc's report no size.
  while (reason.empty() && (count = read(file, buffer, sizeof buffer)) > 0) {
    contents.append(buffer, static_cast<size_t>(count));
    if (contents.size() > static_cast<size_t>(kLargestProfile)) reason = "it is larger than 16 MiB";
  }
  const int read_error = errno;
  close(file);
  if (!reason.empty()) throw base::RunError("cannot read", path, reason);
  if (count < 0) throw MakeSystemError("cannot read", path, static_cast<SystemCode>(read_error));
  return contents;
}

}  // namespace

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  return FindProfileValue(ReadProfileFile(file), section, key, buffer_size);
}

}  // namespace platform
