#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>
#include <string>
#include <utility>

#include "base/windows_path.h"
#include "platform/posix/native_path.h"

namespace platform {

namespace {

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

SystemCode LastError() { return static_cast<SystemCode>(errno); }

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// The POSIX path of the directory that holds `path`.
std::string NativeDirectoryOf(const std::string& path) {
  const std::string directory = base::ParentDirectory(path);
  return directory.empty() ? "." : NativePath(directory);
}

FileState StateFrom(const struct stat& info) {
  return FileState{
      FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                   static_cast<uint64_t>(info.st_nlink)},
      static_cast<uint64_t>(info.st_size),
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

PathKind KindFrom(mode_t mode) {
  if (S_ISREG(mode)) return PathKind::kFile;
  return S_ISDIR(mode) ? PathKind::kDirectory : PathKind::kOther;
}

// What a stat answer tells of the file it describes.
void TakeFacts(const struct stat& info, FileFacts* facts) {
  facts->kind = KindFrom(info.st_mode);
  facts->state = StateFrom(info);
  facts->mode = info.st_mode & 07777;
  facts->owner = info.st_uid;
  facts->group = info.st_gid;
  facts->read_only = !(info.st_mode & S_IWUSR);
}

// The same from a statx answer, in the units of stat.
void TakeFacts(const struct statx& info, FileFacts* facts) {
  struct stat as_stat {};
  as_stat.st_dev = makedev(info.stx_dev_major, info.stx_dev_minor);
  as_stat.st_ino = info.stx_ino;
  as_stat.st_nlink = info.stx_nlink;
  as_stat.st_mode = info.stx_mode;
  as_stat.st_uid = info.stx_uid;
  as_stat.st_gid = info.stx_gid;
  as_stat.st_size = static_cast<off_t>(info.stx_size);
  as_stat.st_mtim.tv_sec = info.stx_mtime.tv_sec;
  as_stat.st_mtim.tv_nsec = info.stx_mtime.tv_nsec;
  TakeFacts(as_stat, facts);
}

// Attributes that only statx shows: a bind mount on the same file system
// has the device and inode of the file it shows.
std::optional<std::string> WhyNotReplaceable(const struct statx& info) {
  const auto has = [&](uint64_t attribute) {
    return (info.stx_attributes_mask & attribute) && (info.stx_attributes & attribute);
  };
  if (has(STATX_ATTR_IMMUTABLE) || has(STATX_ATTR_APPEND))
    return "it is immutable or append-only (chattr +i or +a)";
  if (has(STATX_ATTR_MOUNT_ROOT)) return "it is a mount point";
  return std::nullopt;
}

// Opens `native` for reading without waiting for a FIFO's writer. A file
// that another holds a lease on (Samba's oplocks) refuses that at once: it
// is opened again, waiting as long as the system lets the lease be broken.
int OpenToRead(const std::string& native) {
  const int file = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file >= 0 || errno != EWOULDBLOCK) return file;
  return open(native.c_str(), O_RDONLY | O_CLOEXEC);
}

// Whether the open file `descriptor` is still the one that `native` names.
bool StillNamedBy(int descriptor, const std::string& native) {
  struct stat opened, named;
  return fstat(descriptor, &opened) == 0 && lstat(native.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Throws `failure` ("cannot open") where the open file `descriptor` at
// `path` is no ordinary file (a FIFO, a device) or cannot be looked at.
void CheckOrdinary(int descriptor, const std::string& path, const char* failure) {
  struct stat info;
  if (fstat(descriptor, &info) != 0) throw MakeSystemError(failure, path, LastError());
  if (!S_ISREG(info.st_mode)) throw base::RunError(failure, path, "it is not an ordinary file");
}

}  // namespace

File File::OpenForReading(const std::string& path) {
  // A FIFO put at the path after it was looked at is not waited on.
  const int file = OpenToRead(NativePath(path));
  if (file < 0) throw MakeSystemError("cannot open", path, LastError());
  File opened(file, path);
  CheckOrdinary(file, path, "cannot open");
  return opened;
}

std::optional<File> File::OpenOrdinaryIfThere(const std::string& path) {
  // A FIFO is refused rather than waited on.
  const int file = OpenToRead(NativePath(path));
  if (file < 0) {
    if (IsNothingAt(LastError())) return std::nullopt;
    throw MakeSystemError("cannot read", path, LastError());
  }
  File opened(file, path);
  CheckOrdinary(file, path, "cannot read");
  return opened;
}

NewFile File::TryCreate(const std::string& path) {
  const std::string native = NativePath(path);
  const int created =
      open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (created < 0) return {File(), LastError()};
  // Locked from the start, so that another run's RemoveUnlessHeld leaves it
  // alone. One that removed it between the open and the lock (or holds the
  // lock to remove it) made the name free again: then the name counts as
  // taken, and the caller tries another. A file system without locks keeps
  // it unlocked: its process, alive, guards it too.
  const bool held_by_another = flock(created, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (held_by_another || !StillNamedBy(created, native)) {
    close(created);
    return {File(), EEXIST};
  }
  return {File(created, path), 0};
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

void File::TruncateAt(uint64_t size) {
  const off_t offset = static_cast<off_t>(size);
  if (ftruncate(ToDescriptor(handle_), offset) != 0 ||
      lseek(ToDescriptor(handle_), offset, SEEK_SET) != offset)
    throw MakeSystemError("cannot write", path_, LastError());
}

void File::TakeRights(const FileFacts* of, bool read_only) {
  mode_t mode = 0;
  if (of) {
    // Owner and group first, as changing them may clear mode bits. Only root
    // may give a file away; anyone else's new file is theirs, as was the one
    // it replaces or they could not have written it.
    if (fchown(ToDescriptor(handle_), of->owner, of->group) != 0 && errno != EPERM)
      throw MakeSystemError("cannot set the owner of", path_, LastError());
    mode = static_cast<mode_t>(of->mode);
  } else {
    mode = umask(0);
    umask(mode);
    mode = 0666 & ~mode;
  }
  if (read_only) mode &= ~kWriteBits;
  if (fchmod(ToDescriptor(handle_), mode) != 0)
    throw MakeSystemError("cannot set the attributes of", path_, LastError());
}

FileFacts File::Facts() const {
  struct stat info;
  if (fstat(ToDescriptor(handle_), &info) != 0)
    throw MakeSystemError("cannot look at", path_, LastError());
  FileFacts facts;
  TakeFacts(info, &facts);
  return facts;
}

void File::Sync() {
  if (fsync(ToDescriptor(handle_)) != 0)
    throw MakeSystemError("cannot flush to disk", path_, LastError());
}

void File::Close() {
  if (!std::exchange(open_, false)) return;
  if (close(ToDescriptor(handle_)) != 0) throw MakeSystemError("cannot close", path_, LastError());
}

void File::CloseQuietly() noexcept {
  if (std::exchange(open_, false)) close(ToDescriptor(handle_));
}

bool IsNameTaken(SystemCode code) { return code == EEXIST; }

bool IsNothingAt(SystemCode code) { return code == ENOENT || code == ENOTDIR; }

FileFacts LookAt(const std::string& path) {
  const std::string native = NativePath(path);
  FileFacts facts;
  struct statx entry;
  if (statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &entry) == 0) {
    facts.why_not_replaceable = WhyNotReplaceable(entry);
    facts.is_link = S_ISLNK(entry.stx_mode);
    if (!facts.is_link) {
      TakeFacts(entry, &facts);
      return facts;
    }
  } else {
    if (IsNothingAt(LastError())) return facts;
    // The attributes that statx cannot give stand in no one's way.
    struct stat info;
    facts.is_link = lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  }
  // What a link names, or what a look that statx cannot give finds.
  struct stat info;
  if (stat(native.c_str(), &info) == 0) {
    TakeFacts(info, &facts);
  } else if (!IsNothingAt(LastError())) {
    throw MakeSystemError("cannot look at", path, LastError());
  }
  return facts;
}

std::optional<FileState> StateOf(const std::string& path) {
  struct stat info;
  if (stat(NativePath(path).c_str(), &info) != 0) return std::nullopt;
  return StateFrom(info);
}

std::optional<std::string> LongNameBehindShortName(const std::string&) { return std::nullopt; }

size_t LongestPath() { return PATH_MAX - 1; }

size_t CountedPathLength(const std::string& path) { return NativePath(path).size(); }

std::optional<std::string> WhyNoRenameIn(const std::string& path) {
  // An append-only directory takes new files but lets none be renamed or
  // removed.
  struct statx info;
  if (statx(AT_FDCWD, NativeDirectoryOf(path).c_str(), 0, STATX_TYPE, &info) != 0)
    return std::nullopt;
  if (info.stx_attributes_mask & info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND))
    return "its directory is immutable or append-only (chattr +i or +a)";
  return std::nullopt;
}

bool SameEntry(const std::string& a, const std::string& b) {
  if (base::FinalComponent(a) != base::FinalComponent(b)) return false;
  // What cannot be told counts as one entry: the caller would delete one
  // name taking it for another.
  struct stat directory_a, directory_b;
  if (stat(NativeDirectoryOf(a).c_str(), &directory_a) != 0 ||
      stat(NativeDirectoryOf(b).c_str(), &directory_b) != 0)
    return true;
  return directory_a.st_dev == directory_b.st_dev && directory_a.st_ino == directory_b.st_ino;
}

void SetReadOnly(const std::string& path, bool read_only, const FileFacts* facts) {
  const std::string native = NativePath(path);
  struct stat info;
  if (!facts && stat(native.c_str(), &info) != 0)
    throw MakeSystemError("cannot read the attributes of", path, LastError());
  const mode_t was = facts ? static_cast<mode_t>(facts->mode) : info.st_mode & 07777;
  // A file that `facts` show as asked is put back as they show it: one that
  // its owner may not write may still be writable by its group or others.
  const mode_t mode = facts && facts->read_only == read_only ? was
                      : read_only                            ? was & ~kWriteBits
                                                             : was | S_IWUSR;
  // The owner alone may change them, and nobody needs to where nothing
  // changes.
  if ((facts || mode != was) && chmod(native.c_str(), mode) != 0)
    throw MakeSystemError("cannot set the attributes of", path, LastError());
}

// The quiet functions below make the native path, which allocates: a
// failure to allocate leaves the file as it is.
void RemoveFileQuietly(const std::string& path) noexcept {
  try {
    unlink(NativePath(path).c_str());
  } catch (const std::bad_alloc&) {
  }
}

std::vector<std::string> NamesIn(const std::string& directory, const std::string&) {
  std::vector<std::string> names;
  DIR* entries = opendir(NativePath(directory).c_str());
  if (entries == nullptr) return names;
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(entries);
  return names;
}

void RemoveUnlessHeld(const std::string& path) noexcept try {
  const std::string native = NativePath(path);
  const int file = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return;
  struct stat info;
  // Only an ordinary file whose lock no other run holds, still under its
  // name. Where files cannot be locked, the owner's process, which has
  // ended, was its only guard.
  const auto held = [&] { return flock(file, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK; };
  if (fstat(file, &info) == 0 && S_ISREG(info.st_mode) && !held() && StillNamedBy(file, native))
    unlink(native.c_str());
  close(file);
} catch (const std::bad_alloc&) {
}

SystemCode TryOpenForDelete(const std::string&) { return 0; }

SystemCode TryAddHardLink(const std::string& existing, const std::string& link) {
  // The file that `existing` names gets the second name, not a link there.
  return linkat(AT_FDCWD, NativePath(existing).c_str(), AT_FDCWD, NativePath(link).c_str(),
                AT_SYMLINK_FOLLOW) == 0
             ? 0
             : LastError();
}

bool IsLinkUnsupported(SystemCode code) {
  return code == EPERM || code == ENOTSUP || code == EOPNOTSUPP || code == EMLINK ||
         code == ENOSYS || code == EXDEV;
}

const bool kReplacesOpenFiles = true;
const bool kRenamesReadOnlyFiles = true;

SystemCode TryRenameOver(const std::string& from, const std::string& to) {
  return rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 ? 0 : LastError();
}

void SyncDirectoryOf(const std::string& path) noexcept try {
  const int directory = open(NativeDirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return;
  fsync(directory);
  close(directory);
} catch (const std::bad_alloc&) {
}

}  // namespace platform
