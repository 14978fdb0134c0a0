#include "platform/temp_file.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/windows_path.h"
#include "platform/process.h"

namespace platform {

namespace {

constexpr size_t kCopyBufferSize = 128 * 1024;

// How many taken names CreateBeside passes over before it gives up.
constexpr int kMaxNameAttempts = 100;

// Temp files are named "~tavrin-<process id>.tmp", or "~tavrin-<process
// id>-<n>.tmp" where that is taken: short, so that a target whose path is
// near the system's limit still gets one, and of one shape, so that stale
// ones can be found.
constexpr std::string_view kTempPrefix = "~tavrin-";
constexpr std::string_view kTempSuffix = ".tmp";

// The directory part of `path`, with its final separator ("" for a bare name).
std::string DirectoryPartOf(const std::string& path) {
  return std::string(base::DirectoryPart(path, AnsiLeadBytes()));
}

std::string TempNameBeside(const std::string& target, int attempt) {
  return DirectoryPartOf(target) + std::string(kTempPrefix) + std::to_string(CurrentProcessId()) +
         (attempt ? "-" + std::to_string(attempt) : "") + std::string(kTempSuffix);
}

// The process id in `name` when it has the shape of our temp files' names.
std::optional<unsigned long> TempNameOwner(std::string_view name) {
  if (name.size() <= kTempPrefix.size() + kTempSuffix.size() ||
      name.substr(0, kTempPrefix.size()) != kTempPrefix ||
      name.substr(name.size() - kTempSuffix.size()) != kTempSuffix)
    return std::nullopt;
  const std::string_view middle =
      name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
  const std::string_view id = middle.substr(0, middle.find('-'));
  const std::string_view attempt = middle.substr(id.size());
  // Nine digits at most: every process id of POSIX and Windows, and no
  // overflow of the 32-bit number that Windows keeps it in.
  if (id.empty() || id.size() > 9 || id.find_first_not_of("0123456789") != std::string_view::npos ||
      attempt.find_first_not_of("-0123456789") != std::string_view::npos)
    return std::nullopt;
  unsigned long owner = 0;
  for (char digit : id) owner = owner * 10 + static_cast<unsigned long>(digit - '0');
  return owner;
}

}  // namespace

TempFile TempFile::CreateBeside(const std::string& target, const std::string& noun) {
  for (int attempt = 0;; ++attempt) {
    NewFile created = File::TryCreate(TempNameBeside(target, attempt));
    if (created.code == 0) return TempFile(std::move(created.file), target, noun);
    if (!IsNameTaken(created.code) || attempt == kMaxNameAttempts)
      throw MakeSystemError("cannot create the new " + noun + " beside", target, created.code);
  }
}

TempFile::TempFile(File file, std::string target, std::string noun)
    : file_(std::move(file)),
      path_(file_.path()),
      target_(std::move(target)),
      noun_(std::move(noun)) {}

TempFile::TempFile(TempFile&& other) noexcept
    : file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      noun_(std::move(other.noun_)),
      kept_(other.kept_) {
  other.kept_ = true;
}

TempFile::~TempFile() {
  if (kept_) return;
  file_ = File();  // closed first: Windows deletes no open file
  RemoveFileQuietly(path_);
}

void TempFile::Sync() { file_.Sync(); }

void TempFile::TakeAccessRightsOf(const std::string& path) {
  file_.TakeAccessRightsOf(path);
  rights_given_ = true;
}

void TempFile::KeepReplacing(const std::string& backup) {
  TakeAccessRightsOf(target_);
  // The old target gets its backup name before this file is renamed over
  // it, so that the target's path never lacks a whole file.
  KeepOldTargetAs(backup);
  RenameOverTarget();
}

void TempFile::KeepOldTargetAs(const std::string& backup) {
  // A stale backup is deleted just before the link is made, and again if
  // another run made one meanwhile: runs side by side do not trip over each
  // other's backups. (A link made beside it and renamed over it would spare
  // the deletion, but on Windows nobody may rename a second name of a file
  // that a reader holds without delete sharing, the list included.)
  for (int attempt = 1;; ++attempt) {
    const SystemCode code = TryAddHardLink(target_, backup);
    if (code == 0) {
      SyncDirectoryOf(backup);
      return;
    }
    if (IsLinkUnsupported(code)) {
      CopyFileDurably(target_, backup);
      return;
    }
    // Taken: a stale backup. Nothing there: another run has just put its
    // new file in the target's place; this one's goes over it.
    if ((!IsNameTaken(code) && !IsNothingAt(code)) || attempt > kMaxNameAttempts)
      throw MakeSystemError("cannot keep the old " + noun_ + " as", backup, code);
    if (IsNameTaken(code)) RemoveFile(backup);
  }
}

void TempFile::KeepAsTarget() {
  if (!rights_given_) file_.UseDefaultAccessRights();
  RenameOverTarget();
}

void TempFile::RenameOverTarget() {
  if (const SystemCode code = TryRenameOver(file_, target_))
    throw MakeSystemError("cannot put the new " + noun_ + " in place of", target_, code);
  kept_ = true;
  // Held until now, so that no other run takes it for a stale file. It was
  // flushed before, so nothing is lost if closing reports an error.
  file_ = File();
  SyncDirectoryOf(target_);
}

void RemoveStaleTempFilesBeside(const std::vector<std::string>& targets) {
  std::vector<FileIdentity> target_files;
  for (const std::string& target : targets)
    if (const auto file = IdentityOf(target)) target_files.push_back(*file);
  std::vector<std::string> directories;
  for (const std::string& target : targets) {
    const std::string directory = DirectoryPartOf(target);
    if (std::find(directories.begin(), directories.end(), directory) != directories.end()) continue;
    directories.push_back(directory);
    for (const std::string& name : NamesIn(directory.empty() ? "." : directory)) {
      // Only the files of runs that have ended: a live run may be between
      // two steps, not holding them.
      const auto owner = TempNameOwner(name);
      if (!owner || ProcessIsRunning(*owner)) continue;
      const std::string path = directory + name;
      const auto file = IdentityOf(path);
      if (file && std::find(target_files.begin(), target_files.end(), *file) != target_files.end())
        continue;
      RemoveUnlessHeld(path);
    }
  }
}

void CopyFileDurably(const std::string& from, const std::string& to) {
  File source = File::OpenForReading(from);
  TempFile copy = TempFile::CreateBeside(to, "copy");
  copy.TakeAccessRightsOf(from);
  std::vector<char> buffer(kCopyBufferSize);
  while (const size_t count = source.ReadSome(buffer.data(), buffer.size()))
    copy.Append(buffer.data(), count);
  copy.Sync();
  copy.KeepAsTarget();
}

}  // namespace platform
