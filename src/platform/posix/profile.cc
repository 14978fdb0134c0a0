#include "platform/profile.h"

#include <vector>

#include "base/profile_syntax.h"

namespace platform {

namespace {

// The bytes of the profile at `path`; the empty text when there is none, for
// then it holds no keys, as for the Windows lookup.
std::string ReadProfileBytes(const std::string& path) {
  std::optional<File> file = OpenProfile(path);
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
  return base::FindProfileValue(ReadProfileBytes(file), section, key, buffer_size);
}

}  // namespace platform
