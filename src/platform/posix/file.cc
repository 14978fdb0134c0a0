// POSIX's files, the turn that runs take in a directory (an flock on it),
// and what a replaced file carries besides its rights (nothing more).
#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>
#include <utility>

#include "base/windows_path.h"
#include "platform/posix/native_path.h"
#include "platform/run_turn.h"

namespace platform {

namespace {

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

SystemCode LastError() { return static_cast<SystemCode>(errno); }

// The code of a call that returns 0 when done.
SystemCode CodeOf(int result) { return result == 0 ? 0 : LastError(); }

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Attributes that keep a file's name, or every name in a directory, from
// being renamed or removed, whatever the permissions say.
constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// What a statx answer tells of the file it describes (its device as one
// number, which only identities compare). Every look is a statx, so that one
// answer, the one that also gives the attributes, can tell all.
void TakeFacts(const struct statx& info, FileFacts* facts) {
  facts->kind = S_ISREG(info.stx_mode)   ? PathKind::kFile
                : S_ISDIR(info.stx_mode) ? PathKind::kDirectory
                                         : PathKind::kOther;
  const uint64_t device = uint64_t{info.stx_dev_major} << 32 | info.stx_dev_minor;
  facts->state = FileState{FileIdentity{device, info.stx_ino, info.stx_nlink}, info.stx_size,
                           info.stx_mtime.tv_sec * 1000000000 + info.stx_mtime.tv_nsec};
  facts->mode = info.stx_mode & 07777u;
  facts->owner = info.stx_uid;
  facts->group = info.stx_gid;
  facts->read_only = !(info.stx_mode & S_IWUSR);
}

// Looks at `native`, or with AT_EMPTY_PATH at the open file `at`; false,
// with errno, where the system cannot tell.
bool Look(int at, const char* native, int flags, FileFacts* facts) {
  struct statx info;
  if (statx(at, native, flags, STATX_BASIC_STATS, &info) != 0) return false;
  TakeFacts(info, facts);
  return true;
}

// Attributes that only statx shows: a bind mount on the same file system
// has the device and inode of the file it shows.
std::optional<std::string> WhyNotReplaceable(const struct statx& info) {
  const uint64_t attributes = info.stx_attributes_mask & info.stx_attributes;
  if (attributes & kFixed) return "it is immutable or append-only (chattr +i or +a)";
  if (attributes & STATX_ATTR_MOUNT_ROOT) return "it is a mount point";
  return std::nullopt;
}

// Opens the ordinary file at `path` for reading, without waiting for a
// FIFO's writer; -1 where nothing is there and `may_be_missing`. Throws
// `failure` ("cannot open") where it cannot, or where it is something else
// (a FIFO, a device).
int OpenOrdinary(const std::string& path, const char* failure, bool may_be_missing) {
  const std::string native = NativePath(path);
  int file = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  // A file that another holds a lease on (Samba's oplocks) refuses that at
  // once: it is opened again, waiting as long as the system lets the lease
  // be broken.
  if (file < 0 && errno == EWOULDBLOCK) file = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0 && may_be_missing && IsNothingAt(LastError())) return file;
  if (file < 0) throw MakeSystemError(failure, path, LastError());
  FileFacts facts;
  const SystemCode code = Look(file, "", AT_EMPTY_PATH, &facts) ? 0 : LastError();
  if (code == 0 && facts.kind == PathKind::kFile) return file;
  close(file);
  if (code != 0) throw MakeSystemError(failure, path, code);
  throw base::RunError(failure, path, "it is not an ordinary file");
}

// Takes the lock that a file being written holds, without waiting: whether
// another process holds it. A file system without locks gives it to all.
bool LockedByAnother(int file) {
  return flock(file, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Whether the open `file` is an ordinary file that `native` still names.
bool IsOrdinaryNamedBy(int file, const std::string& native) {
  FileFacts opened, named;
  return Look(file, "", AT_EMPTY_PATH, &opened) && opened.kind == PathKind::kFile &&
         Look(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, &named) &&
         opened.state->file == named.state->file;
}

}  // namespace

File File::OpenForReading(const std::string& path) {
  return File(OpenOrdinary(path, "cannot open", false), path);
}

std::optional<File> File::OpenOrdinaryIfThere(const std::string& path) {
  const int file = OpenOrdinary(path, "cannot read", true);
  return file < 0 ? std::nullopt : std::optional<File>(File(file, path));
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
  if (!LockedByAnother(created) && IsOrdinaryNamedBy(created, native))
    return {File(created, path), 0};
  close(created);
  return {File(), EEXIST};
}

// The run handles no signal, so a call is restarted or the process ends:
// none fails with EINTR.
size_t File::ReadSome(char* buffer, size_t size) {
  const ssize_t count = read(ToDescriptor(handle_), buffer, size);
  if (count < 0) throw MakeSystemError("cannot read", path_, LastError());
  return static_cast<size_t>(count);
}

void File::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t count = write(ToDescriptor(handle_), data, size);
    if (count < 0) throw MakeSystemError("cannot write", path_, LastError());
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
  // Owner and group first, as changing them may clear mode bits. Only root
  // may give a file away; anyone else's new file is theirs, as was the one
  // it replaces or they could not have written it.
  if (of && fchown(ToDescriptor(handle_), of->owner, of->group) != 0 && errno != EPERM)
    throw MakeSystemError("cannot set the owner of", path_, LastError());
  // A new file's default, 0666 less the umask, which only setting it tells.
  const mode_t mask = umask(0);
  umask(mask);
  const mode_t mode = of ? static_cast<mode_t>(of->mode) : 0666 & ~mask;
  if (fchmod(ToDescriptor(handle_), read_only ? mode & ~kWriteBits : mode) != 0)
    throw MakeSystemError("cannot set the attributes of", path_, LastError());
}

FileFacts File::Facts() const {
  FileFacts facts;
  if (!Look(ToDescriptor(handle_), "", AT_EMPTY_PATH, &facts))
    throw MakeSystemError("cannot look at", path_, LastError());
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
  const bool looked =
      statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &entry) == 0;
  if (!looked && IsNothingAt(LastError())) return facts;
  // The attributes that statx cannot give stand in no one's way.
  struct stat info;
  facts.is_link =
      looked ? S_ISLNK(entry.stx_mode) : lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  if (looked) facts.why_not_replaceable = WhyNotReplaceable(entry);
  // A file is what its entry shows; a link, or an entry that could not be
  // looked at, what a look that follows links finds.
  if (looked && !facts.is_link)
    TakeFacts(entry, &facts);
  else if (!Look(AT_FDCWD, native.c_str(), 0, &facts) && !IsNothingAt(LastError()))
    throw MakeSystemError("cannot look at", path, LastError());
  return facts;
}

std::optional<FileState> StateOf(const std::string& path) {
  FileFacts facts;
  if (!Look(AT_FDCWD, NativePath(path).c_str(), 0, &facts)) return std::nullopt;
  return facts.state;
}

std::optional<std::string> LongNameBehindShortName(const std::string&) { return std::nullopt; }

size_t LongestPath() { return PATH_MAX - 1; }

size_t CountedPathLength(const std::string& path) { return NativePath(path).size(); }

std::optional<std::string> WhyNoRenameIn(const std::string& path) {
  // An append-only directory takes new files but lets none be renamed or
  // removed.
  struct statx info;
  if (statx(AT_FDCWD, NativePath(DirectoryOf(path)).c_str(), 0, STATX_TYPE, &info) != 0 ||
      !(info.stx_attributes_mask & info.stx_attributes & kFixed))
    return std::nullopt;
  return "its directory is immutable or append-only (chattr +i or +a)";
}

bool SameEntry(const std::string& a, const std::string& b) {
  if (base::FinalComponent(a) != base::FinalComponent(b)) return false;
  // What cannot be told counts as one entry: the caller would delete one
  // name taking it for another.
  const auto directory_a = IdentityOf(DirectoryOf(a)), directory_b = IdentityOf(DirectoryOf(b));
  return !directory_a || !directory_b || directory_a == directory_b;
}

void SetReadOnly(const std::string& path, bool read_only, const FileFacts* facts) {
  const std::string native = NativePath(path);
  FileFacts now;
  if (!facts && !Look(AT_FDCWD, native.c_str(), 0, &now))
    throw MakeSystemError("cannot read the attributes of", path, LastError());
  const mode_t was = static_cast<mode_t>((facts ? facts : &now)->mode);
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
// failure to allocate (the one exception there) leaves the file as it is.
void RemoveFileQuietly(const std::string& path) noexcept try {
  unlink(NativePath(path).c_str());
} catch (...) {
}

std::vector<std::string> NamesIn(const std::string& directory, const std::string&) {
  std::vector<std::string> names;
  DIR* entries = opendir(NativePath(directory).c_str());
  if (entries == nullptr) return names;
  while (const dirent* entry = readdir(entries))
    if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
      names.push_back(entry->d_name);
  closedir(entries);
  return names;
}

void RemoveUnlessHeld(const std::string& path) noexcept try {
  const std::string native = NativePath(path);
  const int file = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return;
  // Only an ordinary file whose lock no other run holds, still under its
  // name. Where files cannot be locked, the owner's process, which has
  // ended, was its only guard.
  if (!LockedByAnother(file) && IsOrdinaryNamedBy(file, native)) unlink(native.c_str());
  close(file);
} catch (...) {
}

SystemCode TryOpenForDelete(const std::string&) { return 0; }

SystemCode TryAddHardLink(const std::string& existing, const std::string& link) {
  // The file that `existing` names gets the second name, not a link there.
  return CodeOf(linkat(AT_FDCWD, NativePath(existing).c_str(), AT_FDCWD, NativePath(link).c_str(),
                       AT_SYMLINK_FOLLOW));
}

// ENOTSUP is EOPNOTSUPP on Linux.
bool IsLinkUnsupported(SystemCode code) {
  return code == EPERM || code == EOPNOTSUPP || code == EMLINK || code == ENOSYS || code == EXDEV;
}

const bool kReplacesOpenFiles = true;
const bool kRenamesReadOnlyFiles = true;

SystemCode TryRenameOver(const std::string& from, const std::string& to) {
  return CodeOf(rename(NativePath(from).c_str(), NativePath(to).c_str()));
}

void SyncDirectoryOf(const std::string& path) noexcept try {
  const int directory =
      open(NativePath(DirectoryOf(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return;
  fsync(directory);
  close(directory);
} catch (...) {
}

// The turn is an flock on the list's directory: no file of its own to make or
// leave behind, and one lock for the list and the temp files beside it. The
// kernel lets it go when its run ends, however it ends.
RunTurn RunTurn::Take(const std::string& list, std::chrono::milliseconds wait) {
  if (list.empty()) return RunTurn();  // no list, no directory: the run is refused anyway
  const int handle =
      open(NativePath(DirectoryOf(list)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return RunTurn();  // a missing directory fails the run later, with its reason
  RunTurn turn(handle);
  // Polled, with short growing pauses, so that the wait has its bound. A
  // directory that cannot be locked (ENOLCK, EOPNOTSUPP on some network file
  // systems, EINVAL) gives a turn without a lock, as before runs took turns.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (std::chrono::milliseconds pause{1}; LockedByAnother(handle);
       pause = std::min(pause * 2, std::chrono::milliseconds{50})) {
    if (std::chrono::steady_clock::now() >= deadline) throw NoTurnWithin(list, wait);
    std::this_thread::sleep_for(pause);
  }
  return turn;
}

RunTurn::RunTurn(RunTurn&& other) noexcept
    : handle_(other.handle_), held_(std::exchange(other.held_, false)) {}

RunTurn::~RunTurn() {
  if (held_) close(static_cast<int>(handle_));  // lets the lock go
}

// The new file has the old one's owner, group and mode before it takes its
// place (File::TakeRights): nothing is left to carry.
struct AccessControl::Carried {};

AccessControl AccessControl::Of(const File&, const FileFacts&) { return AccessControl(nullptr); }

bool AccessControl::CarryTo(const std::string&, const std::string&) const noexcept { return false; }

}  // namespace platform
