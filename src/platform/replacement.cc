// The replacement protocol: replacement.h states it step by step, with what
// a kill after each step leaves; the steps' numbers recur here.
#include "platform/replacement.h"

#include <exception>
#include <utility>

#include "base/ascii_case.h"
#include "base/run_error.h"
#include "base/windows_path.h"
#include "platform/process.h"

namespace platform {

// The old file on its way to the backup: made writable first, so that the
// backup is (a second name shares the file's attributes, as do its other
// names, if it has any), and given back its read-only attribute if the run
// fails before the new file is in place. What was at the backup's path, the
// stale backup, keeps a second name (a temp name) meanwhile, and is put back
// then too, read-only where it was, with the attributes it had (Windows
// takes the attribute away to replace a file); where nothing was, the backup
// goes. A second name cannot be had on a file system without hard links, nor
// for a link at the path: then the new backup stays. A target that is a link
// is left as it is, and so is the file it names: its backup is a copy. Quiet
// once begun: a failure to put things back leaves the new backup, and the
// saved name for a later run to remove.
class Replacement::Backup {
 public:
  // `old` describes the old file as it was read.
  Backup(const std::string& target, bool is_link, const FileFacts& old)
      : target_(target), old_(old), is_link_(is_link), made_writable_(!is_link_ && old.read_only) {
    if (made_writable_) SetReadOnly(target, false, &old);
  }
  Backup(const Backup&) = delete;
  Backup& operator=(const Backup&) = delete;
  ~Backup() {
    if (replaced_) return;
    // The stale backup first: while the target is still writable, Windows
    // replaces or removes the backup's name, which may be one of the
    // target's file, without taking the attribute from that file.
    PutBackStale();
    if (!made_writable_) return;
    // Only the file that was made writable: another program may have put
    // another at the target's path meanwhile. One that cannot be told apart
    // (the look refused, a share that gives no file numbers) is taken for it.
    try {
      const auto now = IdentityOf(target_);
      if (!now || now == old_.state->file) SetReadOnly(target_, true, &old_);
    } catch (const std::exception&) {
      // The run fails for its first reason, which says more.
    }
  }

  // Makes the old file the backup: a second name of it, or a copy, with the
  // stale backup, which `backup_facts` describe, kept aside. False when the
  // target's path names another file by now.
  bool Make(const std::string& backup, const FileFacts& backup_facts, const std::string& noun) {
    SaveStale(backup, backup_facts, noun);
    if (!GiveSecondNameOrCopy(target_, old_.state->file, backup, noun, is_link_)) return false;
    if (is_link_) SetReadOnly(backup, false);  // a copy has the old file's rights
    return true;
  }
  // The new file is in place: the backup stays, and the stale one goes.
  void Replaced() noexcept {
    replaced_ = true;
    if (stale_ == Stale::kSaved) RemoveFileQuietly(saved_name_);
  }

 private:
  enum class Stale { kUntouched, kNothing, kSaved, kUnsaved };

  // Gives the stale backup a second name beside it, if there is one.
  void SaveStale(const std::string& backup, const FileFacts& facts, const std::string& noun) {
    backup_ = &backup;
    stale_facts_ = facts;
    // A second name of a link would be one of the file it names.
    if (facts.is_link) {
      stale_ = Stale::kUnsaved;
      return;
    }
    const SystemCode code = TryLinkBeside(backup, backup, &saved_name_);
    if (code == 0) {
      stale_ = Stale::kSaved;
    } else if (IsNothingAt(code)) {
      stale_ = Stale::kNothing;
    } else if (IsLinkUnsupported(code)) {
      stale_ = Stale::kUnsaved;
    } else {
      throw MakeSystemError("cannot keep the old " + noun + " as", backup, code);
    }
  }

  void PutBackStale() noexcept try {
    if (stale_ == Stale::kSaved) {
      if (TryRenameOver(saved_name_, *backup_) != 0) return;
      // Where the path still named the stale backup, POSIX renames nothing
      // and both names stay.
      RemoveFileQuietly(saved_name_);
    } else if (stale_ == Stale::kNothing) {
      RemoveFileQuietly(*backup_);
    }
    if (stale_ != Stale::kUntouched) SyncDirectoryOf(*backup_);
    // Last, for it may be refused (POSIX: a file of another owner).
    if (stale_ == Stale::kSaved && stale_facts_.read_only)
      SetReadOnly(*backup_, true, &stale_facts_);
  } catch (const std::exception&) {
    // The run fails for its first reason, which says more.
  }

  const std::string& target_;
  const FileFacts old_;
  const bool is_link_;
  const bool made_writable_;
  bool replaced_ = false;
  Stale stale_ = Stale::kUntouched;
  const std::string* backup_ = nullptr;
  std::string saved_name_;
  FileFacts stale_facts_;  // as it was looked at
};

Replacement::Replacement(std::string target, std::string backup, ReplacementWords words)
    : turn_(RunTurn::Take(target)),  // other runs wait till it ends
      target_(std::move(target)),
      backup_(std::move(backup)),
      words_(std::move(words)) {}

File* Replacement::Open() {
  old_.reset();
  old_access_.reset();
  LookAndRefuse();  // 1
  if (target_facts_.kind == PathKind::kNothing) return nullptr;
  // What was looked at stands for the file opened: another file, or this
  // one changed, by the time it is open shows when it has been read.
  old_.emplace(File::OpenForReading(target_));                   // 2
  old_access_.emplace(AccessControl::Of(*old_, target_facts_));  // 2
  return &*old_;
}

bool Replacement::Replace(const std::function<void(TempFile&)>& write) {
  if (!std::exchange(stale_removed_, true))  // 3
    RemoveStaleTempFilesBeside({{target_, target_facts_}, {backup_, backup_facts_}});
  TempFile next = TempFile::CreateBeside(target_, words_.noun);          // 4
  write(next);                                                           // 5
  if (old_ && !OldFileReadUnchanged()) return false;                     // 5
  next.TakeRights(old_ ? &old_facts_ : nullptr, kRenamesReadOnlyFiles);  // 6
  next.Sync();                                                           // 7
  next.Close();                                                          // 7
  if (old_) RefuseHeldFiles();                                           // 8
  std::optional<Backup> backup;
  if (old_ && !MakeBackup(backup)) return false;                            // 8
  if (!TargetIsAsRead()) return false;                                      // 9
  next.KeepAs(target_);                                                     // 10
  if (backup) backup->Replaced();                                           // 10
  const bool carried = old_ && old_access_->CarryTo(target_, words_.noun);  // 11
  if (!kRenamesReadOnlyFiles || carried) SetReadOnly(target_, true);        // 12
  return true;
}

void Replacement::LookAndRefuse() {
  // Both names beside the target and the backup must be within the system's
  // limit, or the target could be made writable and then not be replaced.
  for (const std::string& path :
       {LongestTempPathBeside(target_), backup_, LongestTempPathBeside(backup_)})
    if (CountedPathLength(path) > LongestPath())
      RefuseTarget("the temp file or the backup beside it would have a path longer than " +
                   std::to_string(LongestPath()) + " characters");
  // "List.bak" would be its own backup: deleting the stale backup would
  // delete the target.
  if (base::EqualIgnoringAsciiCase(target_, backup_))
    throw base::RunError(words_.cannot_back_up, target_,
                         "the backup's name is the " + words_.noun + "'s own");
  // "SOFTWA~1.bak" may be the short name of "Software Archive.bak".
  if (const auto other = LongNameBehindShortName(backup_))
    RefuseBackup("is the short name of another file, '" + *other + "'");
  target_facts_ = LookAt(target_);
  backup_facts_ = FileFacts();  // looked at only where there is a target
  if (target_facts_.kind == PathKind::kDirectory) RefuseTarget("it is a directory");
  if (target_facts_.kind == PathKind::kOther)
    RefuseTarget("it is not a file (a device, a pipe or a socket)");
  // What would fail only in the last rename, after the backup was made, and
  // leave what cannot be removed behind.
  const auto directory_refuses = WhyNoRenameIn(target_);
  if (const auto reason =
          target_facts_.why_not_replaceable ? target_facts_.why_not_replaceable : directory_refuses)
    RefuseTarget(*reason);
  if (target_facts_.kind == PathKind::kNothing) return;
  backup_facts_ = LookAt(backup_);
  if (BackupIsTheTarget()) RefuseBackup("names the " + words_.noun + " itself");
  // A stale backup is replaced, a link there too, dangling or not; what
  // cannot be replaced by a file is refused now, with the target still as
  // it was.
  if (!backup_facts_.is_link &&
      (backup_facts_.kind == PathKind::kDirectory || backup_facts_.kind == PathKind::kOther))
    RefuseBackup("is not a file");
  // The target's directory was looked at already where it holds the backup.
  const bool beside = base::DirectoryPart(target_, AnsiLeadBytes()) ==
                      base::DirectoryPart(backup_, AnsiLeadBytes());
  if (const auto reason = backup_facts_.why_not_replaceable ? backup_facts_.why_not_replaceable
                          : beside                          ? directory_refuses
                                                            : WhyNoRenameIn(backup_))
    RefuseBackup("cannot be replaced: " + *reason);
}

void Replacement::RefuseTarget(const std::string& reason) const {
  throw base::RunError(words_.cannot_replace, target_, reason);
}

void Replacement::RefuseBackup(const std::string& what) const {
  throw base::RunError(words_.cannot_back_up, target_,
                       "its backup's path '" + backup_ + "' " + what);
}

// Keeps the old file as the backup; false where the target's path does not
// name it as read any more (another program took it away or put another
// file there), for a new round.
bool Replacement::MakeBackup(std::optional<Backup>& backup) {
  try {
    backup.emplace(target_, target_facts_.is_link, old_facts_);
  } catch (const base::RunError&) {
    if (StateOf(target_) != target_facts_.state) return false;
    throw;
  }
  return backup->Make(backup_, backup_facts_, words_.noun);
}

// Refuses a target or a stale backup that another program has open
// (Windows, which replaces no open file): the new file could not take the
// target's place, nor the backup's name be put back once it is one of the
// target's file, and second names would stay behind. The last look before
// they are touched; a holder that comes after it still leaves them, for a
// later run to remove.
void Replacement::RefuseHeldFiles() const {
  for (const std::string& path : {target_, backup_})
    if (const SystemCode code = TryOpenForDelete(path))
      throw MakeSystemError("cannot keep the old " + words_.noun + " as", backup_, code);
}

// Whether deleting the stale backup would take the target with it: the same
// file by another name ("a.d\..\List.bak", "List.bak." on Windows) or
// through a link. Two names of one file are fine (a run killed between
// making the backup's link and renaming the new file over the target leaves
// them): deleting one leaves the other.
bool Replacement::BackupIsTheTarget() const {
  const auto target_file = target_facts_.identity();
  const auto backup_file = backup_facts_.identity();
  // The target looked at again: a run beside this one may have put its new
  // file in place meanwhile, which makes the two look alike for a moment.
  if (!target_file || target_file != backup_file || target_file != IdentityOf(target_))
    return false;
  return backup_file->names == 1 || target_facts_.is_link || backup_facts_.is_link ||
         SameEntry(target_, backup_);
}

// Whether the old file is as it was opened, now that it has been read to
// its end. Where the system lets it, the file stays open until the round is
// over: the rename that replaces its last name then does not have to free
// its blocks before it returns.
bool Replacement::OldFileReadUnchanged() {
  old_facts_ = old_->Facts();
  const bool unchanged = old_facts_.state == target_facts_.state;
  if (!kReplacesOpenFiles) old_->Close();
  return unchanged;
}

// Whether the target's path still names the file that was read, unchanged
// (its file, size and time); or still names nothing, where nothing was
// read. Another program may still replace it between this look and the
// rename that puts the new file in place.
bool Replacement::TargetIsAsRead() const {
  const auto now = StateOf(target_);
  if (old_) return now == target_facts_.state;
  return !now && LookAt(target_).kind == PathKind::kNothing;
}

}  // namespace platform
