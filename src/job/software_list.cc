// Stamping the software list, in this order:
//
//  0. Refuse, before touching anything, a list path that is empty, that
//     names a directory or something that is not a file, or whose backup
//     path names the list itself (by its name, or as the same file by
//     another name or through a link) or a directory or other non-file,
//     and a UTF-16 list when the version is not plain ASCII. Remove temp
//     files that killed runs left beside the list or the backup.
//  1. Create a new file beside the list, write the stamped list into it
//     (from the old list, where there is one), flush it to disk. A kill
//     leaves the old list as it was, and the new file behind for a later
//     run to remove.
//  2. Make the old list writable. A kill leaves the old list whole, but
//     writable.
//  3. Give the old list a second name beside the backup (a hard link, or a
//     flushed copy) and rename that over the stale backup; then rename the
//     new file over the list, and sync the directories. A kill leaves the
//     old list, or the new one; the old one is the backup either way once
//     the first rename is done, and before it the stale backup is whole.
//  4. Make the list read-only. A kill leaves the new list, writable.
//
// So the list's path holds the whole old or the whole new list at every
// moment, and any failure before step 3 completes removes the new file.
#include "job/software_list.h"

#include <new>
#include <optional>
#include <vector>

#include "base/ascii_case.h"
#include "base/run_error.h"
#include "base/windows_path.h"
#include "job/line_stamper.h"
#include "locations/placeholders.h"
#include "platform/file.h"
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

// The old list, read a buffer at a time. The first read is made before
// anything is written, so that the list's encoding is known by then.
class OldList {
 public:
  explicit OldList(const std::string& path)
      : file_(platform::File::OpenForReading(path)), buffer_(kBufferSize) {
    // Reads until the buffer holds whatever byte order mark the list has.
    while (first_ < 3) {
      const size_t count = Read(first_);
      if (count == 0) break;
      first_ += count;
    }
  }

  ListEncoding Encoding() const { return EncodingOf(std::string_view(buffer_.data(), first_)); }

  // Streams the whole list through `stamper` into `out`.
  void FeedTo(LineStamper& stamper, NewListSink& out) {
    for (size_t count = first_; count > 0; count = Read(0))
      stamper.Feed(std::string_view(buffer_.data(), count), out);
    file_.Close();
  }

 private:
  size_t Read(size_t at) { return file_.ReadSome(buffer_.data() + at, buffer_.size() - at); }

  platform::File file_;
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
  // "List.bak" would be its own backup: deleting the stale backup would
  // delete the list.
  if (base::EqualIgnoringAsciiCase(list, backup))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "the backup's name is the list's own");
  switch (platform::KindOf(list)) {
    case platform::PathKind::kNothing:
      return false;
    case platform::PathKind::kDirectory:
      throw base::RunError("cannot stamp the software list", list, "it is a directory");
    case platform::PathKind::kOther:
      throw base::RunError("cannot stamp the software list", list,
                           "it is not a file (a device, a pipe or a socket)");
    case platform::PathKind::kFile:
      break;
  }
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
  return true;
}

void StampList(const std::string& list, const std::string& version_text) {
  const std::string backup = base::BackupPathFor(list);
  const bool list_exists = CheckListPath(list, backup);
  platform::RemoveStaleTempFilesBeside({list, backup});

  std::optional<OldList> old_list;
  if (list_exists) old_list.emplace(list);
  const ListEncoding encoding = old_list ? old_list->Encoding() : ListEncoding::kBytes;
  CheckVersionFitsList(list, encoding, version_text);

  platform::TempFile new_list = platform::TempFile::CreateBeside(list, "list");
  LineStamper stamper(StampLine(version_text), encoding);
  NewListSink out(new_list);
  if (old_list) old_list->FeedTo(stamper, out);
  stamper.Finish(out);
  out.Flush();
  new_list.Sync();

  if (list_exists) {
    platform::SetNormalAttributes(list);
    new_list.KeepReplacing(backup);
  } else {
    new_list.KeepAsTarget();
  }
  platform::SetReadOnlyAttributes(list);
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
