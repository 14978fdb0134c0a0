#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/posix/native_path.h"

namespace platform {

namespace {

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

SystemCode LastError() { return static_cast<SystemCode>(errno); }

mode_t ModeOf(const std::string& path) {
  struct stat info;
  if (stat(NativePath(path).c_str(), &info) != 0)
    throw MakeSystemError("cannot read the attributes of", path, LastError());
  return info.st_mode & 07777;
}

void ChangeMode(const std::string& path, mode_t mode) {
  if (chmod(NativePath(path).c_str(), mode) != 0)
    throw MakeSystemError("cannot set the attributes of", path, LastError());
}

// The directory that holds `native`.
std::string DirectoryOf(const std::string& native) {
  const size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

bool LinkUnsupported(int error_number) {
  return error_number == EPERM || error_number == ENOTSUP || error_number == EOPNOTSUPP ||
         error_number == EMLINK || error_number == ENOSYS;
}

}  // namespace

File File::OpenForReading(const std::string& path) {
  const int file = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) throw MakeSystemError("cannot open", path, LastError());
  return File(file, path);
}

SystemCode File::TryCreate(const std::string& path, File* file) {
  const int created =
      open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (created < 0) return LastError();
  *file = File(created, path);
  return 0;
}

size_t File::ReadSome(char* buffer, size_t size) {
  for (;;) {
    const ssize_t count = read(ToDescriptor(handle_), buffer, size);
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) throw MakeSystemError("cannot read", path_, LastError());
  }
}

void File::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t count = write(ToDescriptor(handle_), data, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw MakeSystemError("cannot write", path_, LastError());
    }
    data += count;
    size -= static_cast<size_t>(count);
  }
}

void File::Sync() {
  if (fsync(ToDescriptor(handle_)) != 0)
    throw MakeSystemError("cannot flush to disk", path_, LastError());
}

void File::Close() {
  open_ = false;
  if (close(ToDescriptor(handle_)) != 0) throw MakeSystemError("cannot close", path_, LastError());
}

void File::CloseQuietly() noexcept {
  if (std::exchange(open_, false)) close(ToDescriptor(handle_));
}

bool IsNameTaken(SystemCode code) { return code == EEXIST; }

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(NativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void SetNormalAttributes(const std::string& path) { ChangeMode(path, ModeOf(path) | S_IWUSR); }

void SetReadOnlyAttributes(const std::string& path) {
  ChangeMode(path, ModeOf(path) & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH));
}

void RemoveFile(const std::string& path) {
  if (unlink(NativePath(path).c_str()) != 0)
    throw MakeSystemError("cannot delete", path, LastError());
}

void RemoveFileQuietly(const std::string& path) noexcept { unlink(NativePath(path).c_str()); }

void CopyAccessRights(const std::string& from, const std::string& to) {
  ChangeMode(to, ModeOf(from));
}

LinkResult AddHardLink(const std::string& existing, const std::string& link, SystemCode* code) {
  if (::link(NativePath(existing).c_str(), NativePath(link).c_str()) == 0) return LinkResult::kDone;
  *code = LastError();
  return LinkUnsupported(errno) ? LinkResult::kUnsupported : LinkResult::kFailed;
}

SystemCode RenameOver(const std::string& from, const std::string& to) {
  return rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 ? 0 : LastError();
}

void SyncDirectoryOf(const std::string& path) noexcept {
  const int directory = open(DirectoryOf(NativePath(path)).c_str(), O_RDONLY | O_DIRECTORY);
  if (directory < 0) return;
  fsync(directory);
  close(directory);
}

}  // namespace platform
