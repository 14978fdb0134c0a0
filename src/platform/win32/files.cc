#include "platform/files.h"

#include <windows.h>

#include <string>

#include "platform/win32/system_error.h"

namespace platform {

namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kLargestTransfer = 1u << 30;

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

void SetAttributes(const std::string& path, DWORD attributes) {
  if (!SetFileAttributesA(path.c_str(), attributes))
    throw SystemError("cannot set the attributes of", path, GetLastError());
}

bool LinkUnsupported(DWORD error_code) {
  return error_code == ERROR_INVALID_FUNCTION || error_code == ERROR_NOT_SUPPORTED ||
         error_code == ERROR_TOO_MANY_LINKS || error_code == ERROR_ACCESS_DENIED;
}

HANDLE CreateNew(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

void Rename(const std::string& from, const std::string& to) {
  // A rename within one volume: the list's name moves to the new file in one
  // step, and write-through makes it durable before the call returns.
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw SystemError("cannot put the new list in place of", to, GetLastError());
}

}  // namespace

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
  if (!DeleteFileA(path.c_str())) throw SystemError("cannot delete", path, GetLastError());
}

void RemoveFileQuietly(const std::string& path) noexcept { DeleteFileA(path.c_str()); }

FileHandle OpenForReading(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw SystemError("cannot open", path, GetLastError());
  return FromHandle(file);
}

FileHandle CreateNewFile(const std::string& path) {
  const HANDLE file = CreateNew(path);
  if (file == INVALID_HANDLE_VALUE) throw SystemError("cannot create", path, GetLastError());
  return FromHandle(file);
}

FileHandle CreateFileBeside(const std::string& beside, std::string* created) {
  const std::string stem = beside + ".tavrin-" + std::to_string(GetCurrentProcessId());
  for (int attempt = 0;; ++attempt) {
    std::string path = stem + (attempt ? "-" + std::to_string(attempt) : "") + ".tmp";
    const HANDLE file = CreateNew(path);
    if (file != INVALID_HANDLE_VALUE) {
      *created = std::move(path);
      return FromHandle(file);
    }
    const DWORD error_code = GetLastError();
    if (error_code != ERROR_FILE_EXISTS || attempt == 100)
      throw SystemError("cannot create the new list beside", beside, error_code);
  }
}

size_t ReadSome(FileHandle file, char* buffer, size_t size, const std::string& path) {
  DWORD count = 0;
  const DWORD wanted = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
  if (!ReadFile(ToHandle(file), buffer, wanted, &count, nullptr))
    throw SystemError("cannot read", path, GetLastError());
  return count;
}

void WriteAll(FileHandle file, const char* data, size_t size, const std::string& path) {
  while (size > 0) {
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
    if (!WriteFile(ToHandle(file), data, wanted, &count, nullptr))
      throw SystemError("cannot write", path, GetLastError());
    if (count == 0) throw SystemError("cannot write", path, ERROR_DISK_FULL);
    data += count;
    size -= count;
  }
}

void SyncToDisk(FileHandle file, const std::string& path) {
  if (!FlushFileBuffers(ToHandle(file)))
    throw SystemError("cannot flush to disk", path, GetLastError());
}

void CloseFile(FileHandle file, const std::string& path) {
  if (!CloseHandle(ToHandle(file))) throw SystemError("cannot close", path, GetLastError());
}

void CloseFileQuietly(FileHandle file) noexcept { CloseHandle(ToHandle(file)); }

void ReplaceKeepingBackup(const std::string& replacement, const std::string& list,
                          const std::string& backup) {
  // A second name for the old list first, then the new list renamed over the
  // first name: the list's path never lacks a whole file. (ReplaceFile can
  // fail half-way with the list moved away and the new one not in place.)
  if (!CreateHardLinkA(backup.c_str(), list.c_str(), nullptr)) {
    const DWORD error_code = GetLastError();
    if (!LinkUnsupported(error_code))
      throw SystemError("cannot keep the old list as", backup, error_code);
    CopyFileDurably(list, backup);
  }
  Rename(replacement, list);
}

void MoveIntoPlace(const std::string& replacement, const std::string& list) {
  Rename(replacement, list);
}

}  // namespace platform
