#include "platform/file.h"

#include <windows.h>

#include <string>
#include <utility>

namespace platform {

namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kLargestTransfer = 1u << 30;

HANDLE ToHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

void SetAttributes(const std::string& path, DWORD attributes) {
  if (!SetFileAttributesA(path.c_str(), attributes))
    throw MakeSystemError("cannot set the attributes of", path, GetLastError());
}

bool LinkUnsupported(DWORD error_code) {
  return error_code == ERROR_INVALID_FUNCTION || error_code == ERROR_NOT_SUPPORTED ||
         error_code == ERROR_TOO_MANY_LINKS || error_code == ERROR_ACCESS_DENIED;
}

}  // namespace

File File::OpenForReading(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw MakeSystemError("cannot open", path, GetLastError());
  return File(FromHandle(file), path);
}

SystemCode File::TryCreate(const std::string& path, File* file) {
  const HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return GetLastError();
  *file = File(FromHandle(created), path);
  return 0;
}

size_t File::ReadSome(char* buffer, size_t size) {
  DWORD count = 0;
  const DWORD wanted = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
  if (!ReadFile(ToHandle(handle_), buffer, wanted, &count, nullptr))
    throw MakeSystemError("cannot read", path_, GetLastError());
  return count;
}

void File::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
    if (!WriteFile(ToHandle(handle_), data, wanted, &count, nullptr))
      throw MakeSystemError("cannot write", path_, GetLastError());
    if (count == 0) throw MakeSystemError("cannot write", path_, ERROR_DISK_FULL);
    data += count;
    size -= count;
  }
}

void File::Sync() {
  if (!FlushFileBuffers(ToHandle(handle_)))
    throw MakeSystemError("cannot flush to disk", path_, GetLastError());
}

void File::Close() {
  open_ = false;
  if (!CloseHandle(ToHandle(handle_))) throw MakeSystemError("cannot close", path_, GetLastError());
}

void File::CloseQuietly() noexcept {
  if (std::exchange(open_, false)) CloseHandle(ToHandle(handle_));
}

bool IsNameTaken(SystemCode code) {
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool FileExists(const std::string& path) {
  // Hidden, system and read-only files count; directories do not.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SetNormalAttributes(const std::string& path) { SetAttributes(path, FILE_ATTRIBUTE_NORMAL); }

void SetReadOnlyAttributes(const std::string& path) {
  SetAttributes(path, FILE_ATTRIBUTE_READONLY);
}

void RemoveFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) throw MakeSystemError("cannot delete", path, GetLastError());
}

void RemoveFileQuietly(const std::string& path) noexcept { DeleteFileA(path.c_str()); }

void CopyAccessRights(const std::string&, const std::string&) {}

LinkResult AddHardLink(const std::string& existing, const std::string& link, SystemCode* code) {
  if (CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) return LinkResult::kDone;
  *code = GetLastError();
  return LinkUnsupported(*code) ? LinkResult::kUnsupported : LinkResult::kFailed;
}

SystemCode RenameOver(const std::string& from, const std::string& to) {
  // Within one volume the name moves to the new file in one step. What makes
  // the new file durable is its flush before the rename; write-through
  // covers a move that the system does as copy and delete.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : GetLastError();
}

void SyncDirectoryOf(const std::string&) noexcept {}

}  // namespace platform
