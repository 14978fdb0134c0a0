#include "platform/profile.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "base/profile_syntax.h"
#include "platform/file.h"
#include "platform/process.h"

namespace platform {

namespace {

// The largest profile read: far above any real one, and small enough to be
// read whole.
constexpr uint64_t kLargestProfile = 16 << 20;

base::RunError ProfileTooLarge(const std::string& path) {
  return base::RunError("cannot read", path, "it is larger than 16 MiB");
}

// The bytes of the profile at `path`, all read through the one open file;
// the empty text when there is none, for then it holds no keys, as for the
// Windows lookup. Opening waits for a program that holds the file (on
// Windows; see File::OpenOrdinaryIfThere), and once it is open, sharing
// reads, no other program can take it for itself until it is read.
std::string ReadProfileBytes(const std::string& path) {
  std::optional<File> file = File::OpenOrdinaryIfThere(path);
  if (!file) return "";
  std::string contents;
  std::vector<char> buffer(16384);
  // Bounded by what is read too: files such as /proc's report no size.
  while (const size_t count = file->ReadSome(buffer.data(), buffer.size())) {
    contents.append(buffer.data(), count);
    if (contents.size() > kLargestProfile) throw ProfileTooLarge(path);
  }
  return contents;
}

}  // namespace

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  return base::FindProfileValue(ReadProfileBytes(file), section, key, buffer_size, NarrowToAnsi);
}

}  // namespace platform
