#include "platform/posix/native_path.h"

namespace platform {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string NativePath(const std::string& path) {
  std::string native;
  std::string rest = path;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
    native = std::string("/mnt/") + ToLowerAscii(path[0]);
    rest = path.substr(2);
    // "C:name" is relative to the drive's current directory, which POSIX
    // does not have: take the drive's root.
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') native += '/';
  }
  for (char c : rest) native += (c == '\\') ? '/' : c;
  return native;
}

}  // namespace platform
