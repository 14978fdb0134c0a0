#include "platform/file.h"

#include <algorithm>
#include <utility>

#include "base/ascii_case.h"
#include "platform/win32/faults.h"

// Every operation that a file held by another program refuses is retried
// for a while (RetryWhileHeld); the questions that open nothing for reading
// or writing need no sharing and are not refused that way. Each call of the
// system about a file asks InjectedFault first, named after what it does.
namespace platform {

namespace {

HANDLE ToHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Asks for `operation` on `path` through `call` (see FaultOrCall), and
// throws `action` with the error where it fails.
template <typename Call>
void CallOrThrow(const char* operation, const std::string& path, const char* action, Call call) {
  if (const DWORD code = FaultOrCall(operation, path, call))
    throw MakeSystemError(action, path, code);
}

// The most that one ReadFile or WriteFile moves: they take 32-bit counts.
DWORD Chunk(size_t size) { return static_cast<DWORD>(std::min<size_t>(size, 1u << 30)); }

// What a file's attributes tell.
FileFacts FactsOf(DWORD attributes) {
  FileFacts facts;
  facts.kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::kDirectory : PathKind::kFile;
  facts.mode = attributes;
  facts.read_only = attributes & FILE_ATTRIBUTE_READONLY;
  return facts;
}

// What the information of a file on disk tells.
FileFacts FactsFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  const auto join = [](DWORD high, DWORD low) { return uint64_t{high} << 32 | low; };
  const auto time = [&](const FILETIME& at) { return join(at.dwHighDateTime, at.dwLowDateTime); };
  const uint64_t index =
      InjectedZeroFileIndex() ? 0 : join(info.nFileIndexHigh, info.nFileIndexLow);
  FileFacts facts = FactsOf(info.dwFileAttributes);
  facts.state = FileState{FileIdentity{info.dwVolumeSerialNumber, index, info.nNumberOfLinks},
                          join(info.nFileSizeHigh, info.nFileSizeLow),
                          static_cast<int64_t>(time(info.ftLastWriteTime))};
  facts.created = time(info.ftCreationTime);
  return facts;
}

// What the open `file` is. Devices open too: NUL, COM1, "C:\dir\NUL.txt" (a
// device name wherever it stands, before Windows 11), pipes, consoles.
FileFacts FactsOfOpen(HANDLE file, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) == FILE_TYPE_DISK && !InjectedFault("get-information", path) &&
      GetFileInformationByHandle(file, &info))
    return FactsFrom(info);
  FileFacts other;
  other.kind = PathKind::kOther;
  return other;
}

// Looks at what `path` names, or at `path` itself (a link not followed)
// where `entry`, through one open that reads no data and so needs no
// sharing: a file held exclusively opens this way too. Retried while held
// where `wait`. Empty where it does not open, with the reason in `*code`
// where given.
std::optional<FileFacts> LookThrough(const std::string& path, bool entry, DWORD* code = nullptr,
                                     bool wait = true) {
  const HANDLE file = OpenWhileHeld(
      "look-at", path, 0, kShareAll, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (entry ? FILE_FLAG_OPEN_REPARSE_POINT : 0), code, wait);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  FileFacts facts = FactsOfOpen(file, path);
  CloseHandle(file);
  facts.is_link = entry && facts.mode & FILE_ATTRIBUTE_REPARSE_POINT;
  return facts;
}

// The entry that `path` names as its directory holds it (its long and short
// name), the full path of that directory, and the last name of `path` as
// Windows takes it (without trailing dots and blanks); empty when these
// cannot be had.
struct StoredEntry {
  std::string directory, asked;
  WIN32_FIND_DATAA found;
};
std::optional<StoredEntry> FindStoredEntry(const std::string& path) {
  // The search would take these for wildcards and find some other entry;
  // the "?" of a "\\?\" prefix is none.
  const size_t prefix = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.find_first_of("*?<>\"", prefix) != std::string::npos) return std::nullopt;
  char full[MAX_PATH * 4];
  char* last_name = nullptr;
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, &last_name);
  if (length == 0 || length >= sizeof full || last_name == nullptr) return std::nullopt;
  StoredEntry entry{std::string(full, last_name), last_name, {}};
  if (InjectedFault("find-first", full)) return std::nullopt;
  const HANDLE search = FindFirstFileA(full, &entry.found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(search);
  return entry;
}

// The attributes that SetFileAttributesA sets besides read-only; the others
// (directory, reparse point, compressed, ...) it does not take.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Sets `attributes` with read-only set or cleared, as SetFileAttributesA
// takes them: "normal" stands for none. 0 when done, else the error.
DWORD SetAttributes(const char* operation, const std::string& path, DWORD attributes,
                    bool read_only) {
  attributes = (attributes & kKeptAttributes) | (read_only ? FILE_ATTRIBUTE_READONLY : 0);
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  return FaultOrCall(operation, path, [&] { return SetFileAttributesA(path.c_str(), attributes); });
}

// Asks for `operation` on the file or link at `path` through `call` (see
// FaultOrCall); where it is denied, once more without the read-only
// attribute, which Windows refuses a delete or a rename over (git for
// Windows clears it too), and which is given back when that fails too: a
// failure leaves the file's attributes as they were. Given back only to the
// file it was taken from: another program may have put another at the path
// meanwhile. The attribute is handled quietly and without waiting.
template <typename Call>
DWORD EvenIfReadOnly(const char* operation, const std::string& path, Call call) {
  DWORD code = FaultOrCall(operation, path, call);
  const auto taken =
      code == ERROR_ACCESS_DENIED ? LookThrough(path, true, nullptr, false) : std::nullopt;
  if (!taken || taken->kind != PathKind::kFile || !taken->read_only ||
      SetAttributes("set-attributes-quietly", path, taken->mode, false))
    return code;
  code = FaultOrCall(operation, path, call);
  const auto now = code ? LookThrough(path, true, nullptr, false) : std::nullopt;
  if (now && now->state && now->state->file == taken->state->file)
    SetAttributes("set-attributes-quietly", path, now->mode, true);
  return code;
}

// Opens the file at `path` for reading, retried while held: where nothing
// is there and `if_there`, INVALID_HANDLE_VALUE. Anything else that keeps
// it from opening, or anything but a file on disk there (a device, a pipe,
// a directory opened with `flags`), throws `action`.
HANDLE OpenOrdinary(const char* operation, const std::string& path, DWORD share, DWORD flags,
                    const char* action, bool if_there) {
  DWORD code = 0;
  const HANDLE file =
      OpenWhileHeld(operation, path, GENERIC_READ, share, OPEN_EXISTING, flags, &code);
  if (file == INVALID_HANDLE_VALUE && !(if_there && IsNothingAt(code)))
    throw MakeSystemError(action, path, code);
  // A directory opens only with backup semantics: only then does telling a
  // file apart take more than its type.
  if (file == INVALID_HANDLE_VALUE ||
      (flags & FILE_FLAG_BACKUP_SEMANTICS ? FactsOfOpen(file, path).kind == PathKind::kFile
                                          : GetFileType(file) == FILE_TYPE_DISK))
    return file;
  CloseHandle(file);
  throw base::RunError(action, path, "it is not an ordinary file");
}

}  // namespace

File File::OpenForReading(const std::string& path) {
  // Without a directory flag a directory does not open at all.
  const HANDLE file = OpenOrdinary("open-for-reading", path, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   FILE_FLAG_SEQUENTIAL_SCAN, "cannot open", false);
  return File(reinterpret_cast<Handle>(file), path);
}

std::optional<File> File::OpenOrdinaryIfThere(const std::string& path) {
  // Full sharing, so that an editor that has the file open keeps nobody
  // out; a directory opens too, to be told apart.
  const HANDLE file = OpenOrdinary("open-ordinary", path, kShareAll, FILE_FLAG_BACKUP_SEMANTICS,
                                   "cannot read", true);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(reinterpret_cast<Handle>(file), path);
}

NewFile File::TryCreate(const std::string& path) {
  // Unshared: until it is closed, no other run can delete it as stale. A
  // taken name is no reason to wait; a name whose file is being deleted is.
  DWORD code = 0;
  const HANDLE created =
      OpenWhileHeld("create-new", path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, &code);
  return {created == INVALID_HANDLE_VALUE ? File() : File(reinterpret_cast<Handle>(created), path),
          code};
}

size_t File::ReadSome(char* buffer, size_t size) {
  DWORD count = 0;
  CallOrThrow("read", path_, "cannot read",
              [&] { return ReadFile(ToHandle(handle_), buffer, Chunk(size), &count, nullptr); });
  return count;
}

void File::WriteAll(const char* data, size_t size) {
  while (size > 0) {
    DWORD count = 0;
    CallOrThrow("write", path_, "cannot write",
                [&] { return WriteFile(ToHandle(handle_), data, Chunk(size), &count, nullptr); });
    if (count == 0) throw MakeSystemError("cannot write", path_, ERROR_DISK_FULL);
    data += count;
    size -= count;
  }
}

void File::TruncateAt(uint64_t size) {
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(size);
  CallOrThrow("truncate", path_, "cannot write", [&] {
    return SetFilePointerEx(ToHandle(handle_), offset, nullptr, FILE_BEGIN) &&
           SetEndOfFile(ToHandle(handle_));
  });
}

// A new file takes the access rights of its directory, as the file it
// replaces did: there is nothing to copy or to set. Its read-only attribute
// waits for the rename (kRenamesReadOnlyFiles).
void File::TakeRights(const FileFacts*, bool) {}

FileFacts File::Facts() const {
  BY_HANDLE_FILE_INFORMATION info;
  CallOrThrow("get-information", path_, "cannot look at",
              [&] { return GetFileInformationByHandle(ToHandle(handle_), &info); });
  return FactsFrom(info);
}

void File::Sync() {
  CallOrThrow("flush", path_, "cannot flush to disk",
              [&] { return FlushFileBuffers(ToHandle(handle_)); });
}

void File::Close() {
  // A close that fails as injected leaves the handle open, the worst a
  // failed close can leave.
  if (open_)
    CallOrThrow("close", path_, "cannot close",
                [&] { return std::exchange(open_, false) && CloseHandle(ToHandle(handle_)); });
}

void File::CloseQuietly() noexcept {
  if (std::exchange(open_, false) && !InjectedFault("close-quietly", path_))
    CloseHandle(ToHandle(handle_));
}

bool IsNameTaken(SystemCode code) {
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool IsNothingAt(SystemCode code) {
  // A name that no file can have names nothing either.
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_INVALID_NAME || code == ERROR_BAD_PATHNAME;
}

FileFacts LookAt(const std::string& path) {
  // The entry itself first: a link is followed by a second look.
  DWORD code = 0;
  auto looked = LookThrough(path, true, &code);
  if (looked && looked->is_link) {
    looked = LookThrough(path, false, &code);
    if (looked) looked->is_link = true;
  }
  if (looked) return *looked;
  // Not opened. The name's own attributes tell a dangling link (nothing
  // there) from something that answers to the name without opening: a file
  // whose permissions deny even a look at it, or a device that cannot be
  // opened now (a console, a printer port that the PC lacks).
  FileFacts facts;
  const DWORD attributes = InjectedFault("get-attributes", path) ? INVALID_FILE_ATTRIBUTES
                                                                 : GetFileAttributesA(path.c_str());
  facts.is_link =
      attributes != INVALID_FILE_ATTRIBUTES && attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes == INVALID_FILE_ATTRIBUTES || facts.is_link) {
    // What cannot be told is no "nothing": the list would be replaced
    // without a backup.
    if (IsNothingAt(code)) return facts;
    throw MakeSystemError("cannot look at", path, code);
  }
  if (code == ERROR_ACCESS_DENIED) return FactsOf(attributes);
  facts.kind = PathKind::kOther;
  return facts;
}

std::optional<FileState> StateOf(const std::string& path) {
  // One file, however it is spelled: "List.bak." and "List.bak " are
  // "List.bak" (Windows drops a name's trailing dots and blanks), and so is
  // its 8.3 short name.
  const auto facts = LookThrough(path, false);
  return facts ? facts->state : std::nullopt;
}

std::optional<std::string> LongNameBehindShortName(const std::string& path) {
  const auto entry = FindStoredEntry(path);
  if (!entry || !base::EqualIgnoringAsciiCase(entry->asked, entry->found.cAlternateFileName) ||
      base::EqualIgnoringAsciiCase(entry->asked, entry->found.cFileName))
    return std::nullopt;
  return std::string(entry->found.cFileName);
}

size_t LongestPath() { return MAX_PATH - 1; }

size_t CountedPathLength(const std::string& path) {
  // The full path's length where the buffer holds it; where it does not,
  // the size that would, its NUL included.
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length != 0) return length < sizeof full ? length : length - 1;
  // The "A" function gives up on a full path past MAX_PATH (Wine says so
  // with this error): too long, however it is written.
  return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? SIZE_MAX : path.size();
}

// Windows shows nothing of the kind beforehand.
std::optional<std::string> WhyNoRenameIn(const std::string&) { return std::nullopt; }

bool SameEntry(const std::string& a, const std::string& b) {
  // Each path's entry as its directory holds it (whatever the spelling:
  // letter case, trailing dots and blanks, an 8.3 short name), and the
  // directory by identity. What cannot be told counts as one entry: the
  // caller would delete one name taking it for another.
  const auto entry_a = FindStoredEntry(a);
  const auto entry_b = entry_a ? FindStoredEntry(b) : std::nullopt;
  if (!entry_b) return true;
  if (std::string_view(entry_a->found.cFileName) != entry_b->found.cFileName) return false;
  const auto identity_a = IdentityOf(entry_a->directory);
  return !identity_a || identity_a == IdentityOf(entry_b->directory);
}

void SetReadOnly(const std::string& path, bool read_only, const FileFacts* facts) {
  const DWORD code = RetryWhileHeld(
      [&] { return SetAttributes("set-attributes", path, facts ? facts->mode : 0, read_only); });
  if (code) throw MakeSystemError("cannot set the attributes of", path, code);
}

void RemoveFileQuietly(const std::string& path) noexcept {
  // At once or not at all, a read-only file too.
  EvenIfReadOnly("delete-quietly", path, [&] { return DeleteFileA(path.c_str()); });
}

std::vector<std::string> NamesIn(const std::string& directory, const std::string& wanted) {
  // The search matches the 8.3 short names too, so it may give more.
  const bool separated =
      directory.empty() || std::string_view("\\/:").find(directory.back()) != std::string::npos;
  const std::string pattern = directory + (separated ? "" : "\\") + wanted;
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  if (InjectedFault("find-first", pattern)) return names;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (const std::string_view name = entry.cFileName; name != "." && name != "..")
      names.emplace_back(name);
  } while (!InjectedFault("find-next", pattern) && FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

void RemoveUnlessHeld(const std::string& path) noexcept {
  // A live run holds its file unshared, so the delete fails with a sharing
  // violation; waiting would only wait for that run.
  RemoveFileQuietly(path);
}

SystemCode TryOpenForDelete(const std::string& path) {
  // Windows replaces no file that is open, whatever sharing its holder
  // allows: an open that shares nothing fails while anyone reads, writes or
  // deletes it, and keeps others out only while it is open: closed at once.
  // Access denied answers at once: permissions that deny deleting this file
  // alone say nothing of holders, and a rename may still pass on the
  // directory's.
  const DWORD last = RetryWhileHeld([&] {
    DWORD code = 0;
    const HANDLE file = OpenWhileHeld("open-for-delete", path, DELETE, 0, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, &code, false);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return code == ERROR_ACCESS_DENIED ? 0 : code;
  });
  return last == ERROR_SHARING_VIOLATION ? last : 0;
}

SystemCode TryAddHardLink(const std::string& existing, const std::string& link) {
  return RetryWhileHeld([&] {
    return FaultOrCall("hard-link", link,
                       [&] { return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr); });
  });
}

// File systems without hard links (FAT, exFAT) say "invalid function", some
// network and pooled volumes "not supported", cloud placeholders "access
// denied"; another volume cannot hold a second name of the file at all.
bool IsLinkUnsupported(SystemCode code) {
  return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
         code == ERROR_TOO_MANY_LINKS || code == ERROR_ACCESS_DENIED ||
         code == ERROR_NOT_SAME_DEVICE;
}

const bool kReplacesOpenFiles = false;
const bool kRenamesReadOnlyFiles = false;

SystemCode TryRenameOver(const std::string& from, const std::string& to) {
  // Within one volume the name moves to the new file in one step. What makes
  // the new file durable is its flush before the rename; write-through
  // covers a move that the system does as copy and delete. A reader of the
  // old list that does not share deletion holds the rename off. A stale
  // backup may be read-only: it loses the attribute only with the rename.
  return RetryWhileHeld([&] {
    return EvenIfReadOnly("rename", to, [&] {
      return MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    });
  });
}

void SyncDirectoryOf(const std::string&) noexcept {}

}  // namespace platform
