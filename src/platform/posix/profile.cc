#include "platform/profile.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/native_path.h"
#include "platform/profile_syntax.h"

namespace platform {

namespace {

// The file's bytes; the empty text when it can't be read, for then it holds
// no keys, as for the Windows lookup.
std::string ReadWholeFile(const std::string& path) {
  const int file = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return "";
  std::string contents;
  char buffer[16384];
  ssize_t count;
  while ((count = read(file, buffer, sizeof buffer)) > 0)
    contents.append(buffer, static_cast<size_t>(count));
  close(file);
  return count < 0 ? "" : contents;
}

}  // namespace

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  return FindProfileValue(ReadWholeFile(file), section, key, buffer_size);
}

}  // namespace platform
