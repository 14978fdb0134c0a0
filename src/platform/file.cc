#include "platform/file.h"

#include <utility>

// What File does alike on every system; the rest is in posix/ and win32/.
namespace platform {

File::File(File&& other) noexcept
    : handle_(other.handle_),
      open_(std::exchange(other.open_, false)),
      path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    CloseQuietly();
    handle_ = other.handle_;
    open_ = std::exchange(other.open_, false);
    path_ = std::move(other.path_);
  }
  return *this;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const auto state = StateOf(path);
  if (!state || state->file.index == 0) return std::nullopt;
  return state->file;
}

}  // namespace platform
