// Stamping the software list. StampOnce below states the whole protocol,
// one step a line, and what a kill after each step leaves behind.
#include "job/software_list.h"

#include <new>
#include <optional>
#include <vector>

#include "base/ascii_case.h"
#include "base/run_error.h"
#include "base/windows_path.h"
#include "job/line_stamper.h"
#include "locations/placeholders.h"
#include "platform/access_control.h"
#include "platform/file.h"
#include "platform/run_turn.h"
#include "platform/temp_file.h"

namespace {

// Large enough that reading and writing cost few system calls, small enough
// that memory stays flat for lists of any size.
constexpr size_t kBufferSize = 128 * 1024;

// The stamped list on its way into the new file: written a buffer's worth at
// a time, and cut back in the file where a long line turns out marked.
class NewListSink : public LineSink {
 public:
  explicit NewListSink(platform::TempFile& file) : file_(file) {
    // One piece can double in size when every line ends in a lone CR.
    buffer_.reserve(kBufferSize * 3);
  }

  void Append(std::string_view bytes) override {
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize) Flush();
  }

  void CutTo(uint64_t size) override {
    if (size >= written_) {
      buffer_.resize(static_cast<size_t>(size - written_));
      return;
    }
    buffer_.clear();
    file_.TruncateAt(size);
    written_ = size;
  }

  uint64_t Size() const override { return written_ + buffer_.size(); }

  void Flush() {
    file_.Append(buffer_.data(), buffer_.size());
    written_ += buffer_.size();
    buffer_.clear();
  }

 private:
  platform::TempFile& file_;
  std::string buffer_;
  uint64_t written_ = 0;  // bytes in the file
};

// How often the list is stamped anew when another program changes it during
// the run, before the run gives up. Runs of tavrin take turns (RunTurn), so
// only other programs count, but where the system gives no turn (a file
// system without locks) runs side by side change it once each.
constexpr int kMaxStampings = 10;

// The old list, read a buffer at a time. The first read is made before
// anything is written, so that the list's encoding is known by then. What it
// carries for the new list (its permissions on Windows) is read from the
// same open file.
class OldList {
 public:
  explicit OldList(const std::string& path)
      : file_(platform::File::OpenForReading(path)),
        state_(file_.State()),
        access_(platform::AccessControl::Of(file_)),
        buffer_(kBufferSize) {
    // Reads until the buffer holds whatever byte order mark the list has.
    while (first_ < 3) {
      const size_t count = Read(first_);
      if (count == 0) break;
      first_ += count;
    }
  }

  ListEncoding Encoding() const { return EncodingOf(std::string_view(buffer_.data(), first_)); }

  // The state of the file when it was opened.
  const platform::FileState& State() const { return state_; }

  const platform::AccessControl& Access() const { return access_; }

  // The open file, while it is.
  const platform::File& File() const { return file_; }

  // Streams the whole list through `stamper` into `out`. False when the file
  // changed while it was read. Where the system lets it, the file stays open
  // until the stamping is over: the rename that replaces its last name then
  // does not have to free its blocks before it returns.
  bool FeedTo(LineStamper& stamper, NewListSink& out) {
    for (size_t count = first_; count > 0; count = Read(0))
      stamper.Feed(std::string_view(buffer_.data(), count), out);
    const bool unchanged = file_.State() == state_;
    if (!platform::kReplacesOpenFiles) file_.Close();
    return unchanged;
  }

 private:
  size_t Read(size_t at) { return file_.ReadSome(buffer_.data() + at, buffer_.size() - at); }

  platform::File file_;
  const platform::FileState state_;
  const platform::AccessControl access_;
  std::vector<char> buffer_;
  size_t first_ = 0;  // bytes of the first read
};

bool IsPlainAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A UTF-16 list is stamped in UTF-16, and only plain ASCII turns into it
// without guessing a code page.
void CheckVersionFitsList(const std::string& list, ListEncoding encoding,
                          const std::string& version_text) {
  if (IsUtf16(encoding) && !IsPlainAscii(version_text))
    throw base::RunError(
        "cannot stamp the software list", list,
        "the list is UTF-16 text and the version '" + version_text + "' is not plain ASCII");
}

// Whether deleting the stale backup would take the list with it: the same
// file by another name ("a.d\..\List.bak", "List.bak." on Windows) or
// through a link. Two names of one file are fine (a run killed between
// making the backup's link and renaming the new list over the list leaves
// them): deleting one leaves the other.
bool BackupIsTheList(const std::string& list, const std::string& backup) {
  const auto list_file = platform::IdentityOf(list);
  const auto backup_file = platform::IdentityOf(backup);
  // The list looked at again: a run beside this one may have put its new
  // list in place meanwhile, which makes the two look alike for a moment.
  if (!list_file || list_file != backup_file || list_file != platform::IdentityOf(list))
    return false;
  return backup_file->names == 1 || platform::IsLink(list) || platform::IsLink(backup) ||
         platform::SameEntry(list, backup);
}

// Refuses what the list's path may not be, before anything is touched, and
// tells whether there is a list.
bool CheckListPath(const std::string& list, const std::string& backup) {
  if (list.empty())
    throw base::RunError("the software list's path is empty", "",
                         "Software_Txt expands to nothing");
  // "\\127.0.0.1\share\Software.txt" would have "\\127.bak" as its backup.
  if (base::BackupPathCutsRoot(list))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "its backup's path '" + backup +
                             "' names no file: the path's first '.' lies in its server, "
                             "share or device name");
  // Both names beside the list and the backup must be within the system's
  // limit, or the list could be made writable and then not be replaced.
  for (const std::string& path :
       {platform::LongestTempPathBeside(list), backup, platform::LongestTempPathBeside(backup)})
    if (platform::CountedPathLength(path) > platform::LongestPath())
      throw base::RunError("cannot stamp the software list", list,
                           "the temp file or the backup beside it would have a path longer than " +
                               std::to_string(platform::LongestPath()) + " characters");
  // "List.bak" would be its own backup: deleting the stale backup would
  // delete the list.
  if (base::EqualIgnoringAsciiCase(list, backup))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "the backup's name is the list's own");
  // "SOFTWA~1.bak" may be the short name of "Software Archive.bak".
  if (const auto other = platform::LongNameBehindShortName(backup))
    throw base::RunError(
        "cannot keep a backup of the software list", list,
        "its backup's path '" + backup + "' is the short name of another file, '" + *other + "'");
  const platform::PathKind kind = platform::KindOf(list);
  if (kind == platform::PathKind::kDirectory)
    throw base::RunError("cannot stamp the software list", list, "it is a directory");
  if (kind == platform::PathKind::kOther)
    throw base::RunError("cannot stamp the software list", list,
                         "it is not a file (a device, a pipe or a socket)");
  // What would fail only in the last rename, after the backup was made, and
  // leave what cannot be removed behind.
  if (const auto reason = platform::WhyNotReplaceable(list))
    throw base::RunError("cannot stamp the software list", list, *reason);
  if (kind == platform::PathKind::kNothing) return false;
  if (BackupIsTheList(list, backup))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "its backup's path '" + backup + "' names the list itself");
  // A stale backup is replaced, a link there too, dangling or not; what
  // cannot be replaced by a file is refused now, with the list still as it was.
  if (!platform::IsLink(backup)) {
    const platform::PathKind backup_kind = platform::KindOf(backup);
    if (backup_kind == platform::PathKind::kDirectory || backup_kind == platform::PathKind::kOther)
      throw base::RunError("cannot keep a backup of the software list", list,
                           "its backup's path '" + backup + "' is not a file");
  }
  if (const auto reason = platform::WhyNotReplaceable(backup))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "its backup's path '" + backup + "' cannot be replaced: " + *reason);
  return true;
}

// Writes the stamped list into `new_list`, from `old_list` where there is
// one. False when the old list changed while it was read.
bool WriteStampedList(std::optional<OldList>& old_list, ListEncoding encoding,
                      const std::string& version_text, platform::TempFile& new_list) {
  LineStamper stamper(StampLine(version_text), encoding);
  NewListSink out(new_list);
  if (old_list && !old_list->FeedTo(stamper, out)) return false;
  stamper.Finish(out);
  out.Flush();
  return true;
}

// Whether the list's path still names the file that was read, unchanged
// (its file, size and time); or still names nothing, where nothing was read.
// Another program may still replace it between this look and the rename
// that puts the new list in place.
bool ListIsAsRead(const std::string& list, const std::optional<OldList>& old_list) {
  const auto now = platform::StateOf(list);
  if (old_list) return now == old_list->State();
  return !now && platform::KindOf(list) == platform::PathKind::kNothing;
}

// Refuses a list or a stale backup that another program has open (Windows,
// which replaces no open file): the new list could not take the list's
// place, nor the backup's name be put back once it is one of the list's
// file, and second names would stay behind. The last look before they are
// touched; a holder that comes after it still leaves them, for a later run
// to remove.
void RefuseHeldList(const std::string& list, const std::string& backup) {
  for (const std::string& path : {list, backup})
    if (const platform::SystemCode code = platform::TryOpenForDelete(path))
      throw platform::MakeSystemError("cannot keep the old list as", backup, code);
}

// The old list on its way to the backup: made writable first, so that the
// backup is (a second name shares the list's attributes, as do the file's
// other names, if it has any), and given back its read-only attribute if the
// run fails before the new list is in place; the stale backup is kept aside
// meanwhile, and put back then too. A list that is a link is left as it is,
// and so is the file it names: its backup is a copy.
class OldListAsBackup {
 public:
  OldListAsBackup(const std::string& list, const platform::FileIdentity& file)
      : list_(list), file_(file), is_link_(platform::IsLink(list)) {
    if (is_link_) return;
    made_writable_ = platform::IsReadOnly(list);
    platform::SetNormalAttributes(list);
  }
  OldListAsBackup(const OldListAsBackup&) = delete;
  OldListAsBackup& operator=(const OldListAsBackup&) = delete;
  ~OldListAsBackup() {
    if (replaced_) return;
    // The stale backup first: while the list is still writable, Windows
    // replaces or removes the backup's name, which may be one of the list's
    // file, without taking the attribute from that file.
    stale_.reset();
    if (!made_writable_) return;
    // Only the file that was made writable: another program may have put
    // another at the list's path meanwhile. One that cannot be told apart
    // (the look refused, a share that gives no file numbers) is taken for it.
    try {
      const auto now = platform::IdentityOf(list_);
      if (!now || now == file_) platform::SetReadOnlyAttributes(list_);
    } catch (const std::exception&) {
      // The run fails for its first reason, which says more.
    }
  }

  // Keeps the old list at `backup`: a second name of its file, or a copy,
  // with the stale backup kept aside. False when the list's path names
  // another file by now.
  bool KeepAs(const std::string& backup) {
    stale_.emplace(platform::StaleBackup::Save(backup, "list"));
    if (!platform::KeepSecondNameOrCopy(list_, file_, backup, "list", is_link_)) return false;
    if (is_link_) platform::SetNormalAttributes(backup);  // a copy has the list's rights
    return true;
  }
  // The new list is in place: the backup stays.
  void Replaced() {
    replaced_ = true;
    if (stale_) stale_->Drop();
  }

 private:
  const std::string& list_;
  const platform::FileIdentity file_;
  const bool is_link_;
  bool made_writable_ = false;
  bool replaced_ = false;
  std::optional<platform::StaleBackup> stale_;
};

// Keeps the old list as the backup, once no other program holds it; false
// where its path does not name it as read any more (another program took it
// away or put another file there), for it to be stamped anew.
bool KeepOldListAsBackup(std::optional<OldListAsBackup>& old_as_backup, const std::string& list,
                         const std::string& backup, const OldList& old_list) {
  RefuseHeldList(list, backup);
  try {
    old_as_backup.emplace(list, old_list.State().file);
  } catch (const base::RunError&) {
    if (platform::StateOf(list) != old_list.State()) return false;
    throw;
  }
  return old_as_backup->KeepAs(backup);
}

// The whole protocol. The list's path holds the whole old list or the whole
// new one at every moment, and a failure leaves the list and the stale
// backup as they were; what a kill after each step leaves:
//
//    1. nothing touched: what cannot be stamped is refused here;
//    2. nothing more: the old list opened, its encoding known (a UTF-16 list
//       and a version that is not plain ASCII are refused);
//    3. temp files of killed runs removed (a temp file is never a list);
//    4. a new temp file, removed by a later run;
//    5. the same, written;
//    6. the same, with the list's rights, read-only where the system renames
//       such a file (else it becomes so in step 10);
//    7. the same, on stable storage, closed;
//    8. nothing more where another program has the list or the stale backup
//       open (Windows); else the old list as the backup too (the list made
//       writable first), put in one rename over the stale backup, which
//       keeps a second name (a temp name) meanwhile; temp names of both at
//       most, which a later run removes. A second name that turns out to be
//       another file is dropped, and the list stamped anew;
//    9. nothing more: the list was read whole and its path still names it,
//       unchanged. Else, and where step 10 fails, the stale backup is put
//       back (where nothing was, the backup goes), the list made read-only
//       again, and the list stamped anew from what is there now. Nothing
//       that takes time lies between this look and the rename of step 10;
//   10. the new list in the list's place, read-only; the stale backup's
//       temp name removed;
//   11. the same, with what the old list carried besides its rights where
//       the system has more (Windows: its permissions and creation time, as
//       read in step 2, so from the list's own file also where the backup is
//       a copy). Its failure is no failure of the run: the list keeps what
//       the system gave it, and a warning goes to the event log;
//   12. the same, read-only again, where step 11 may have taken the
//       attribute away (Wine keeps it in the Unix mode bits, which it
//       rewrites: Wine 8 with the DACL, Wine 10 already with the time). A
//       failure here, or in making the new list read-only in step 10, ends
//       the run with the new list in place; the next run makes it read-only.
//
// Steps 2 and 4 to 10 are one stamping; where the list changed meanwhile,
// nothing is replaced and the list is stamped anew from what is there now.
bool StampOnce(const std::string& list, const std::string& backup, std::optional<OldList>& old_list,
               const std::string& version_text) {
  const ListEncoding encoding = old_list ? old_list->Encoding() : ListEncoding::kBytes;
  platform::TempFile new_list = platform::TempFile::CreateBeside(list, "list");      // 4
  if (!WriteStampedList(old_list, encoding, version_text, new_list)) return false;   // 5
  old_list ? new_list.TakeRightsOf(old_list->File()) : new_list.UseDefaultRights();  // 6
  new_list.MakeReadOnly();                                                           // 6
  new_list.Sync();                                                                   // 7
  new_list.Close();                                                                  // 7
  std::optional<OldListAsBackup> old_as_backup;
  if (old_list && !KeepOldListAsBackup(old_as_backup, list, backup, *old_list)) return false;  // 8
  if (!ListIsAsRead(list, old_list)) return false;                                             // 9
  new_list.KeepAs(list);                                                                       // 10
  if (old_as_backup) old_as_backup->Replaced();                                                // 10
  if (old_list && old_list->Access().CarryTo(list, "list"))                                    // 11
    platform::SetReadOnlyAttributes(list);                                                     // 12
  return true;
}

// Opens the list where there is one, and refuses a version that its
// encoding cannot hold.
void OpenOldList(std::optional<OldList>& old_list, const std::string& list, bool list_exists,
                 const std::string& version_text) {
  old_list.reset();
  if (!list_exists) return;
  old_list.emplace(list);
  CheckVersionFitsList(list, old_list->Encoding(), version_text);
}

void StampList(const std::string& list, const std::string& version_text) {
  const platform::RunTurn turn = platform::RunTurn::Take(list);  // other runs wait till it ends
  const std::string backup = base::BackupPathFor(list);
  std::optional<OldList> old_list;
  OpenOldList(old_list, list, CheckListPath(list, backup), version_text);  // 1, 2
  platform::RemoveStaleTempFilesBeside({list, backup});                    // 3
  for (int stamping = 1; !StampOnce(list, backup, old_list, version_text); ++stamping) {
    if (stamping == kMaxStampings)
      throw base::RunError("cannot stamp the software list", list,
                           "another program keeps changing it; it is left as that program left it");
    OpenOldList(old_list, list, CheckListPath(list, backup), version_text);
  }
}

}  // namespace

void StampSoftwareList(const LocationTable& table, const std::string& version_text) {
  const std::string list = ExpandPlaceholders(table, "$Software_Txt$");
  try {
    StampList(list, version_text);
  } catch (const std::bad_alloc&) {
    // The same one line as any failure, with the list it concerns.
    throw base::RunError("cannot stamp the software list", list, "out of memory");
  }
}
