#include "platform/temp_file.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "base/windows_path.h"
#include "platform/process.h"

namespace platform {

namespace {

constexpr size_t kCopyBufferSize = 128 * 1024;

// How many taken names CreateBeside passes over before it gives up.
constexpr int kMaxNameAttempts = 100;

// The largest process id that a temp file's name holds: nine digits, every
// process id of POSIX and Windows, and no overflow of the 32-bit number that
// Windows keeps it in.
constexpr unsigned long kLargestOwner = 999999999;

// The directory part of `path`, with its final separator ("" for a bare name).
std::string DirectoryPartOf(const std::string& path) {
  return std::string(base::DirectoryPart(path, AnsiLeadBytes()));
}

// Temp files are named "~tavrin-<process id>.tmp", or "~tavrin-<process
// id>-<n>.tmp" where that is taken: short, so that a target whose path is
// near the system's limit still gets one, and of one shape, so that stale
// ones can be found.
std::string TempName(unsigned long owner, unsigned long attempt) {
  return "~tavrin-" + std::to_string(owner) + (attempt ? "-" + std::to_string(attempt) : "") +
         ".tmp";
}

// A new name for a temp file beside `target`, each call the next of
// kMaxNameAttempts + 1 in turn: the names of a run share one count wherever
// they are, so that a run does not try its own names again, and a caller
// that tries that many has met each once.
std::string NextTempNameBeside(const std::string& target) {
  static int next = 0;  // one run, one thread
  const int number = next;
  next = (next + 1) % (kMaxNameAttempts + 1);
  return DirectoryPartOf(target) + TempName(CurrentProcessId(), static_cast<unsigned long>(number));
}

// The process id in `name` when it is a name that TempName makes: read back
// and written anew, it must be `name` itself (no leading zeros, no sign,
// nothing more).
std::optional<unsigned long> TempNameOwner(const std::string& name) {
  if (name.rfind("~tavrin-", 0) != 0) return std::nullopt;
  char* end = nullptr;
  const unsigned long owner = std::strtoul(name.c_str() + 8, &end, 10);
  const unsigned long attempt = *end == '-' ? std::strtoul(end + 1, &end, 10) : 0;
  if (owner == 0 || owner > kLargestOwner || attempt > kMaxNameAttempts ||
      TempName(owner, attempt) != name)
    return std::nullopt;
  return owner;
}

// Whether the temp file of `owner` may be a live run's: one that has not
// ended. This process has made none when it looks.
bool MayBeLive(unsigned long owner) {
  return owner != CurrentProcessId() && ProcessIsRunning(owner);
}

}  // namespace

TempFile TempFile::CreateBeside(const std::string& target, const std::string& noun) {
  for (int attempt = 0;; ++attempt) {
    NewFile created = File::TryCreate(NextTempNameBeside(target));
    if (created.code == 0) return TempFile(std::move(created.file), noun);
    if (!IsNameTaken(created.code) || attempt == kMaxNameAttempts)
      throw MakeSystemError("cannot create the new " + noun + " beside", target, created.code);
  }
}

TempFile::TempFile(File file, std::string noun)
    : file_(std::move(file)), path_(file_.path()), noun_(std::move(noun)) {}

TempFile::TempFile(TempFile&& other) noexcept
    : file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      noun_(std::move(other.noun_)),
      kept_(other.kept_) {
  other.kept_ = true;
}

TempFile::~TempFile() {
  if (kept_) return;
  file_ = File();  // closed first: Windows deletes no open file
  RemoveFileQuietly(path_);
}

void TempFile::KeepAs(const std::string& target) {
  // Closed first: Windows renames no open file. It was flushed before, so
  // nothing is lost if closing reports an error.
  file_.Close();
  if (const SystemCode code = TryRenameOver(path_, target))
    throw MakeSystemError("cannot put the new " + noun_ + " in place of", target, code);
  kept_ = true;
  SyncDirectoryOf(target);
}

std::string LongestTempPathBeside(const std::string& target) {
  return DirectoryPartOf(target) + TempName(kLargestOwner, kMaxNameAttempts);
}

namespace {

// Removing a second name of a read-only target's file takes the attribute
// from the file (Windows: it belongs to the file, and no name of a
// read-only file is removed without clearing it first); given back to that
// file only, still at the target's path.
void GiveBackReadOnly(const LookedAt& target) {
  const auto file = target.facts.identity();
  if (!target.facts.read_only || !file) return;
  try {
    const FileFacts now = LookAt(target.path);
    if (now.identity() == file && !now.read_only) SetReadOnly(target.path, true, &now);
  } catch (const base::RunError&) {
    // The cleanup never fails a run; a later step reads the attribute again.
  }
}

}  // namespace

void RemoveStaleTempFilesBeside(const std::vector<LookedAt>& targets) {
  bool removed_any = false;
  std::vector<std::string> directories;
  for (const LookedAt& beside : targets) {
    const std::string directory = DirectoryPartOf(beside.path);
    if (std::find(directories.begin(), directories.end(), directory) != directories.end()) continue;
    directories.push_back(directory);
    for (const std::string& name : NamesIn(directory.empty() ? "." : directory, "~tavrin-*.tmp")) {
      // Only the files of runs that have ended: a live run may be between
      // two steps, not holding them.
      const auto owner = TempNameOwner(name);
      if (!owner || MayBeLive(*owner)) continue;
      const std::string path = directory + name;
      // A target named like a temp file is no temp file, nor is the file
      // that a target which is a link names. A second name of a target is
      // one: removing it leaves the target's own name.
      if (std::any_of(targets.begin(), targets.end(), [&](const LookedAt& target) {
            return target.facts.state &&
                   (SameEntry(path, target.path) ||
                    (target.facts.is_link && IdentityOf(path) == target.facts.identity()));
          }))
        continue;
      RemoveUnlessHeld(path);
      removed_any = true;
    }
  }
  if (removed_any)
    for (const LookedAt& target : targets) GiveBackReadOnly(target);
}

namespace {

// Writes a copy of `from`, with its rights, beside `to` and renames it over
// `to`, flushed before the rename; false when `from` is not `file` any more.
bool CopyDurably(const std::string& from, const std::string& to, const FileIdentity& file) {
  if (LookAt(from).kind == PathKind::kNothing) return false;
  File source = File::OpenForReading(from);
  // The rights of the file read, not of a second look at its path.
  const FileFacts opened = source.Facts();
  if (!opened.state || opened.state->file != file) return false;
  TempFile copy = TempFile::CreateBeside(to, "copy");
  std::vector<char> buffer(kCopyBufferSize);
  while (const size_t count = source.ReadSome(buffer.data(), buffer.size()))
    copy.Append(buffer.data(), count);
  copy.TakeRights(&opened, false);
  // Closed before the rename: `to` may be another name of `from`'s file, and
  // Windows replaces no file that is open.
  source.Close();
  copy.Sync();
  copy.KeepAs(to);
  return true;
}

enum class SecondName { kGiven, kUnsupported, kNothingThere };

// Gives the file at `from` a second name beside `to` and renames that over
// `to`.
SecondName GiveSecondName(const std::string& from, const std::string& to, const std::string& noun,
                          const FileIdentity& file) {
  std::string name;
  const SystemCode code = TryLinkBeside(from, to, &name);
  if (IsLinkUnsupported(code)) return SecondName::kUnsupported;
  // Nothing there: the file, or the directory of `to`. Also where the file's
  // last name went just as it was to get another.
  if (IsNothingAt(code)) {
    const auto now = StateOf(from);
    if (!now || now->file != file) return SecondName::kNothingThere;
  }
  if (code != 0) throw MakeSystemError("cannot keep the old " + noun + " as", to, code);
  // Another file put at `from` since it was read is no backup of it.
  const auto linked = StateOf(name);
  if (!linked || linked->file != file) {
    RemoveFileQuietly(name);
    return SecondName::kNothingThere;
  }
  const SystemCode renamed = TryRenameOver(name, to);
  // Where `to` may have been a name of the same file already (it has another
  // name besides `from` and this one), POSIX renames nothing and the second
  // name stays; where the rename failed it goes too.
  if (renamed || linked->file.names > 2) RemoveFileQuietly(name);
  if (renamed) throw MakeSystemError("cannot keep the old " + noun + " as", to, renamed);
  SyncDirectoryOf(to);
  return SecondName::kGiven;
}

}  // namespace

SystemCode TryLinkBeside(const std::string& existing, const std::string& beside,
                         std::string* name) {
  for (int attempt = 0;; ++attempt) {
    *name = NextTempNameBeside(beside);
    const SystemCode code = TryAddHardLink(existing, *name);
    if (!IsNameTaken(code) || attempt == kMaxNameAttempts) return code;
  }
}

bool GiveSecondNameOrCopy(const std::string& from, const FileIdentity& file, const std::string& to,
                          const std::string& noun, bool copy_only) {
  const SecondName named =
      copy_only ? SecondName::kUnsupported : GiveSecondName(from, to, noun, file);
  if (named == SecondName::kUnsupported) return CopyDurably(from, to, file);
  return named == SecondName::kGiven;
}

}  // namespace platform
