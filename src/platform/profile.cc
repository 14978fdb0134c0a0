#include "platform/profile.h"

// What the profile lookup does alike on every system.
namespace platform {

std::optional<File> OpenProfile(const std::string& path) {
  std::optional<File> file = File::OpenOrdinaryIfThere(path);
  if (file && file->Size() > kLargestProfile) throw ProfileTooLarge(path);
  return file;
}

base::RunError ProfileTooLarge(const std::string& path) {
  return base::RunError("cannot read", path, "it is larger than 16 MiB");
}

}  // namespace platform
