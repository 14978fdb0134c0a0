#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

constexpr size_t kCopyBufferSize = 128 * 1024;

}  // namespace

void CopyFileDurably(const std::string& from, const std::string& to) {
  const FileHandle source = OpenForReading(from);
  FileHandle target;
  try {
    target = CreateNewFile(to);
  } catch (...) {
    CloseFileQuietly(source);
    throw;
  }
  try {
    std::vector<char> buffer(kCopyBufferSize);
    while (const size_t count = ReadSome(source, buffer.data(), buffer.size(), from))
      WriteAll(target, buffer.data(), count, to);
    SyncToDisk(target, to);
  } catch (...) {
    CloseFileQuietly(target);
    CloseFileQuietly(source);
    RemoveFileQuietly(to);
    throw;
  }
  CloseFileQuietly(source);
  try {
    CloseFile(target, to);
  } catch (...) {
    RemoveFileQuietly(to);
    throw;
  }
}

}  // namespace platform
