#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/native_path.h"
#include "platform/posix/system_error.h"

namespace platform {

namespace {

int ToDescriptor(FileHandle file) { return static_cast<int>(file); }

mode_t ModeOf(const std::string& path) {
  struct stat info;
  if (stat(NativePath(path).c_str(), &info) != 0)
    throw SystemError("cannot read the attributes of", path, errno);
  return info.st_mode & 07777;
}

void ChangeMode(const std::string& path, mode_t mode) {
  if (chmod(NativePath(path).c_str(), mode) != 0)
    throw SystemError("cannot set the attributes of", path, errno);
}

// The directory that holds `native`, for syncing the entry of a renamed file.
std::string DirectoryOf(const std::string& native) {
  const size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

// Makes a rename in the directory of `path` durable. File systems that cannot
// sync a directory keep their own guarantees, so a refusal is not an error.
void SyncDirectoryOf(const std::string& path) {
  const int directory = open(DirectoryOf(NativePath(path)).c_str(), O_RDONLY | O_DIRECTORY);
  if (directory < 0) return;
  fsync(directory);
  close(directory);
}

void Rename(const std::string& from, const std::string& to) {
  if (rename(NativePath(from).c_str(), NativePath(to).c_str()) != 0)
    throw SystemError("cannot put the new list in place of", to, errno);
}

bool LinkUnsupported(int error_number) {
  return error_number == EPERM || error_number == ENOTSUP || error_number == EOPNOTSUPP ||
         error_number == EMLINK || error_number == ENOSYS;
}

// A descriptor for a new file at `path`, or -1 when anything is there,
// a link included.
int OpenNew(const std::string& path) {
  return open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(NativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void SetNormalAttributes(const std::string& path) { ChangeMode(path, ModeOf(path) | S_IWUSR); }

void SetReadOnlyAttributes(const std::string& path) {
  ChangeMode(path, ModeOf(path) & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH));
}

void RemoveFile(const std::string& path) {
  if (unlink(NativePath(path).c_str()) != 0) throw SystemError("cannot delete", path, errno);
}

void RemoveFileQuietly(const std::string& path) noexcept { unlink(NativePath(path).c_str()); }

FileHandle OpenForReading(const std::string& path) {
  const int file = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) throw SystemError("cannot open", path, errno);
  return file;
}

FileHandle CreateNewFile(const std::string& path) {
  const int file = OpenNew(path);
  if (file < 0) throw SystemError("cannot create", path, errno);
  return file;
}

FileHandle CreateFileBeside(const std::string& beside, std::string* created) {
  const std::string stem = beside + ".tavrin-" + std::to_string(getpid());
  for (int attempt = 0;; ++attempt) {
    std::string path = stem + (attempt ? "-" + std::to_string(attempt) : "") + ".tmp";
    const int file = OpenNew(path);
    if (file >= 0) {
      *created = std::move(path);
      return file;
    }
    if (errno != EEXIST || attempt == 100)
      throw SystemError("cannot create the new list beside", beside, errno);
  }
}

size_t ReadSome(FileHandle file, char* buffer, size_t size, const std::string& path) {
  for (;;) {
    const ssize_t count = read(ToDescriptor(file), buffer, size);
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) throw SystemError("cannot read", path, errno);
  }
}

void WriteAll(FileHandle file, const char* data, size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t count = write(ToDescriptor(file), data, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw SystemError("cannot write", path, errno);
    }
    data += count;
    size -= static_cast<size_t>(count);
  }
}

void SyncToDisk(FileHandle file, const std::string& path) {
  if (fsync(ToDescriptor(file)) != 0) throw SystemError("cannot flush to disk", path, errno);
}

void CloseFile(FileHandle file, const std::string& path) {
  if (close(ToDescriptor(file)) != 0) throw SystemError("cannot close", path, errno);
}

void CloseFileQuietly(FileHandle file) noexcept { close(ToDescriptor(file)); }

void ReplaceKeepingBackup(const std::string& replacement, const std::string& list,
                          const std::string& backup) {
  // The new list keeps the permissions of the old one.
  ChangeMode(replacement, ModeOf(list));
  // A second name for the old list first, then the new list renamed over the
  // first name: the list's path never lacks a whole file.
  if (link(NativePath(list).c_str(), NativePath(backup).c_str()) != 0) {
    const int error_number = errno;
    if (!LinkUnsupported(error_number))
      throw SystemError("cannot keep the old list as", backup, error_number);
    CopyFileDurably(list, backup);
  }
  Rename(replacement, list);
  SyncDirectoryOf(list);
}

void MoveIntoPlace(const std::string& replacement, const std::string& list) {
  Rename(replacement, list);
  SyncDirectoryOf(list);
}

}  // namespace platform
