#ifndef TAVRIN_PLATFORM_FILE_H_
#define TAVRIN_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_error.h"

// Files on paths in Windows form ("C:\Software.txt"), the primitives that
// each system implements. Five conventions, one per kind of answer:
// - a function that acts, or looks where a failure to look must end the
//   run (LookAt), throws RunError naming the operation, the path and the
//   system's reason;
// - a function named Try... returns the system's code instead (0 when done),
//   for a caller that has another way;
// - a question that may have no answer returns an empty optional where
//   nothing is there or the system cannot tell (StateOf, IdentityOf);
// - a yes-or-no question (Is..., SameEntry) says which answer it gives
//   where the system cannot tell: the one that loses nothing;
// - a noexcept function is quiet and does what it can.
// What differs between the systems beyond that is a constant
// (kReplacesOpenFiles, kRenamesReadOnlyFiles).
namespace platform {

struct FileFacts;
struct NewFile;

// An open file, closed (quietly) when it goes out of scope.
class File {
 public:
  // Opens an existing ordinary file for reading; others may read and delete
  // it meanwhile. Anything else there (a FIFO, a device) throws "cannot
  // open" without being waited on.
  static File OpenForReading(const std::string& path);
  // Opens the ordinary file at `path` for reading, whoever else has it open;
  // nothing when nothing is there. Anything else there (a directory, a
  // device, a pipe), or a file that cannot be read, throws "cannot read".
  static std::optional<File> OpenOrdinaryIfThere(const std::string& path);
  // Creates `path`, empty, for writing, where nothing is, a link included,
  // which it does not follow (see IsNameTaken). Nobody else may open it
  // meanwhile. The new file is held (locked on POSIX) so that
  // RemoveUnlessHeld leaves it alone, and readable by its owner only until it
  // is given its rights.
  static NewFile TryCreate(const std::string& path);

  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { CloseQuietly(); }

  const std::string& path() const { return path_; }

  // Reads up to `size` bytes; 0 at the end of the file.
  size_t ReadSome(char* buffer, size_t size);
  void WriteAll(const char* data, size_t size);
  // Cuts the file to its first `size` bytes; writing goes on from there.
  void TruncateAt(uint64_t size);
  // Gives the file the access rights of the file that `of` describes, or
  // with none those a new file gets by default, and takes the write
  // permission from everybody where `read_only` (POSIX: owner and group
  // where the system allows, and the permission bits, 0666 less the umask by
  // default; files are created private until then. On Windows a new file
  // takes its directory's, as the other did, and the read-only attribute
  // waits for the rename: see kRenamesReadOnlyFiles).
  void TakeRights(const FileFacts* of, bool read_only);
  // Returns once everything written has reached stable storage.
  void Sync();
  // What the open file is now, in one look: see LookAt (a file opened is no
  // link).
  FileFacts Facts() const;
  // Closes the file, if it is still open.
  void Close();

 private:
  friend class AccessControl;  // reads what the open file carries
  using Handle = std::intptr_t;
  File(Handle handle, std::string path) : handle_(handle), open_(true), path_(std::move(path)) {}
  void CloseQuietly() noexcept;

  Handle handle_ = 0;
  bool open_ = false;
  std::string path_;
};

// What File::TryCreate gives: the new file, or the system's reason in `code`.
struct NewFile {
  File file;
  SystemCode code = 0;
};

// Whether `code` says that a name is taken (by a file, a directory, a link).
bool IsNameTaken(SystemCode code);
// Whether `code` says that nothing is at a path: no such file, no such
// directory on the way (POSIX: a file on the way too).
bool IsNothingAt(SystemCode code);

enum class PathKind { kNothing, kFile, kDirectory, kOther };

// Which file a path names, links followed: two paths name the same file
// when their identities are equal, whatever their spelling.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint64_t names = 1;  // how many hard links (directory entries) the file has; not compared
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};
// Empty when nothing is there or the system cannot tell: some network file
// systems give every file the index 0.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// A file and what it holds as far as the system tells without reading it:
// another program that changed the file, or put another in its place, has
// changed its state (but within the file system's time resolution: FAT
// keeps times to 2 s).
struct FileState {
  FileIdentity file;
  uint64_t size = 0;
  int64_t modified = 0;  // in the system's own unit
  bool operator==(const FileState& other) const {
    return file == other.file && size == other.size && modified == other.modified;
  }
  bool operator!=(const FileState& other) const { return !(*this == other); }
};
// Empty when nothing is there or the system cannot tell.
std::optional<FileState> StateOf(const std::string& path);

// What one look at a path tells, taken from as few answers of the system as
// it gives (POSIX: one statx where the path is no link).
struct FileFacts {
  // What the path names, links followed (a dangling link names nothing): an
  // ordinary file, read-only or not (on Windows hidden and system files
  // too), a directory, or something else (a FIFO, a device, a socket).
  PathKind kind = PathKind::kNothing;
  // Whether the path itself is a symbolic link (on Windows any reparse
  // point), dangling or not.
  bool is_link = false;
  // The file named, links followed; empty where the system cannot tell.
  std::optional<FileState> state;
  // Its access rights (POSIX: permission bits, owner and group) or
  // attributes (Windows), as the system keeps them, and whether they make
  // it read-only: not writable by its owner.
  uint32_t mode = 0, owner = 0, group = 0;
  bool read_only = false;
  // When it was made, in the system's own unit (Windows only).
  uint64_t created = 0;
  // Why the entry (a link not followed) cannot be replaced by a rename even
  // where its directory allows it, where the system tells beforehand: "it
  // is immutable or append-only", "it is a mount point" (POSIX only).
  std::optional<std::string> why_not_replaceable;

  // The file named, where the system tells it apart from others (some
  // network file systems give every file the index 0).
  std::optional<FileIdentity> identity() const {
    if (!state || state->file.index == 0) return std::nullopt;
    return state->file;
  }
};
// Throws "cannot look at" where it cannot tell whether anything is there:
// what cannot be told is no "nothing", or a file would be replaced without
// a backup.
FileFacts LookAt(const std::string& path);

// What a file that is replaced by a new one carries besides its bytes and
// its rights, for the new file to keep. On Windows: its permissions (the
// DACL, protected from inheritance or inheriting) and its creation time, what
// Windows' own ReplaceFile keeps too; not its owner, which stays whoever
// made the new file. On POSIX nothing: the new file has the old one's owner,
// group and mode before it takes its place (File::TakeRights).
//
// Read from the open old file, so that it is the file that was read,
// whatever its path names by the time the new file is in place, a link's
// target included; carried once the new file is in place, where a mistake
// can neither block nor undo the replacement.
class AccessControl {
 public:
  // What `file`, which `facts` describe, carries now. Quiet: what cannot
  // be read is reported by CarryTo.
  static AccessControl Of(const File& file, const FileFacts& facts);

  // Gives what was read to the file at `path`, and says whether it tried:
  // then the file's attributes may have changed with it (Wine takes the
  // read-only attribute away). Never fails: the file keeps what the system
  // gave it of whatever cannot be carried, and on Windows a Warning entry in
  // the Application event log says what and why, naming the file by `noun`
  // ("cannot carry the old list's permissions ...").
  bool CarryTo(const std::string& path, const std::string& noun) const noexcept;

 private:
  // What was read, and what carries it, per system.
  struct Carried;
  explicit AccessControl(std::shared_ptr<const Carried> carried) : carried_(std::move(carried)) {}
  void CarryCreationTime(const std::string& path, const std::string& noun) const;
  void CarryDacl(const std::string& path, const std::string& noun) const;

  std::shared_ptr<const Carried> carried_;
};

// The long name of the file that `path` reaches only through its short (8.3)
// name: "Software Archive.bak" for "C:\SOFTWA~1.BAK". Empty where the last
// name of `path` is the file's own long name, where nothing is there, and on
// POSIX, which has no short names.
std::optional<std::string> LongNameBehindShortName(const std::string& path);

// The longest path that the file functions take, in bytes (Windows: the "A"
// functions stop at MAX_PATH, "\\?\" or not).
size_t LongestPath();
// The length of `path` as the system counts it against LongestPath: on
// Windows its full path (a relative path joined to the working directory),
// on POSIX the path that "C:\" maps to.
size_t CountedPathLength(const std::string& path);

// Why no entry of the directory that holds `path` can be renamed or removed
// even where its permissions allow it, where the system tells beforehand:
// "its directory is immutable or append-only" (POSIX only: an append-only
// directory takes new files but lets none go). Empty where nothing stands
// in the way that it can see.
std::optional<std::string> WhyNoRenameIn(const std::string& path);

// Whether `a` and `b` are one directory entry, their last names not
// followed: the same directory, and names the file system takes as one
// (POSIX: the same bytes; Windows: the same full path once trailing dots and
// blanks are dropped, letter case aside).
bool SameEntry(const std::string& a, const std::string& b);

// Makes the file at `path` writable by nobody where `read_only`, else
// writable by its owner again, its other attributes kept (Windows: hidden,
// system): as `facts` give them, without another look, where given. A file
// that `facts` show as asked gets back what they show (POSIX: a file its
// owner may not write may still be writable by its group or others).
void SetReadOnly(const std::string& path, bool read_only, const FileFacts* facts = nullptr);

// Removes the file or link at `path`, a read-only one too, at once or not at
// all: it never waits for a file that others hold.
void RemoveFileQuietly(const std::string& path) noexcept;

// The names of the entries of `directory` ("." and ".." left out), at least
// those that match `pattern` ("*" for any text; letter case aside): Windows
// gives only those, POSIX all. Quiet: empty when it cannot be read.
std::vector<std::string> NamesIn(const std::string& directory, const std::string& pattern);

// Removes the file at `path` unless a live process holds it: on POSIX one
// that holds the lock that File::TryCreate takes, on Windows one that has it
// open without delete sharing. Quiet.
void RemoveUnlessHeld(const std::string& path) noexcept;

// Opens the file or link at `path` itself for deletion, sharing nothing,
// and closes it at once: the system's code when another program has it
// open (Windows: a sharing violation past the usual wait), so that no name
// of it can be replaced, and, without delete sharing, none renamed or
// removed; else 0, also where that cannot be told (access denied:
// permissions that deny deleting this file alone, which its directory's may
// allow). While it is open, others' opens fail. POSIX: nothing holds a file
// that way, 0.
SystemCode TryOpenForDelete(const std::string& path);

// Gives the file that `existing` names (links followed) the second name
// `link`, where nothing is.
SystemCode TryAddHardLink(const std::string& existing, const std::string& link);
// Whether `code`, from TryAddHardLink, says that the file system cannot give
// the file a second name there; then a copy has to do.
bool IsLinkUnsupported(SystemCode code);

// Renames the file or link `from` to `to` in one step, replacing a file or
// link at `to`. Windows renames no open file.
SystemCode TryRenameOver(const std::string& from, const std::string& to);
// Whether a file that is open may be replaced by a rename: on POSIX, where
// it then lives on until it is closed; Windows replaces no open file.
extern const bool kReplacesOpenFiles;
// Whether a read-only file may be renamed over another: POSIX renames it;
// on Windows no document says that every version does, so the attribute
// waits until the file is in place.
extern const bool kRenamesReadOnlyFiles;

// Makes renames in the directory of `path` durable. Quiet: file systems that
// cannot sync a directory keep their own guarantees (Windows: nothing to do).
void SyncDirectoryOf(const std::string& path) noexcept;

}  // namespace platform

#endif  // TAVRIN_PLATFORM_FILE_H_
