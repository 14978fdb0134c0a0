// Stamping the software list, in this order:
//
//  1. Create a new file beside the list, write the stamped list into it
//     (from the old list, where there is one), flush it to disk, close it.
//     A kill leaves the old list as it was, and the new file behind.
//  2. Make the old list writable, then delete a stale backup. A kill leaves
//     the old list whole, but writable; the backup may be gone.
//  3. Give the old list the backup's name as a second name (a hard link, or
//     a flushed copy), rename the new file over the list, and sync the
//     directory. A kill leaves the old list, or the new one; the old one is
//     the backup either way once the link is made.
//  4. Make the list read-only. A kill leaves the new list, writable.
//
// So the list's path holds the whole old or the whole new list at every
// moment, and any failure before step 3 completes removes the new file.
#include "job/software_list.h"

#include <vector>

#include "base/ascii_case.h"
#include "base/run_error.h"
#include "job/line_stamper.h"
#include "locations/placeholders.h"
#include "platform/file.h"
#include "platform/temp_file.h"

namespace {

// Large enough that reading and writing cost few system calls, small enough
// that memory stays flat for lists of any size.
constexpr size_t kBufferSize = 128 * 1024;

// The stamped list on its way into the new file: lines are gathered and
// written a buffer's worth at a time.
class StampedOutput {
 public:
  StampedOutput(platform::TempFile& file, LineStamper& stamper) : file_(file), stamper_(stamper) {
    // One piece can double in size when every line ends in a lone CR.
    text_.reserve(kBufferSize * 3);
  }

  void Feed(std::string_view piece) {
    stamper_.Feed(piece, &text_);
    if (text_.size() >= kBufferSize) Flush();
  }

  void Finish() {
    stamper_.Finish(&text_);
    Flush();
  }

 private:
  void Flush() {
    file_.Append(text_.data(), text_.size());
    text_.clear();
  }

  platform::TempFile& file_;
  LineStamper& stamper_;
  std::string text_;
};

// Streams the old list at `list` through `output`.
void FeedOldList(const std::string& list, StampedOutput& output) {
  platform::File old_list = platform::File::OpenForReading(list);
  std::vector<char> buffer(kBufferSize);
  while (const size_t count = old_list.ReadSome(buffer.data(), buffer.size()))
    output.Feed(std::string_view(buffer.data(), count));
  old_list.Close();
}

}  // namespace

std::string BackupPathFor(const std::string& list_path) {
  const size_t dot = list_path.find('.');
  const bool has_base = dot != std::string::npos && dot > 0;
  return (has_base ? list_path.substr(0, dot) : list_path) + ".bak";
}

void StampSoftwareList(const LocationTable& table, const std::string& version_text) {
  const std::string list = ExpandPlaceholders(table, "$Software_Txt$");
  const std::string backup = BackupPathFor(list);
  // "List.bak" would be its own backup: deleting the stale backup would
  // delete the list.
  if (base::EqualIgnoringAsciiCase(list, backup))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "the backup's name is the list's own");

  const bool list_exists = platform::FileExists(list);
  platform::TempFile new_list = platform::TempFile::CreateBeside(list, "list");
  LineStamper stamper(StampLine(version_text));
  StampedOutput output(new_list, stamper);
  if (list_exists) FeedOldList(list, output);
  output.Finish();
  new_list.SyncAndClose();

  if (list_exists) {
    platform::SetNormalAttributes(list);
    if (platform::FileExists(backup)) platform::RemoveFile(backup);
    new_list.KeepReplacing(backup);
  } else {
    new_list.KeepAsTarget();
  }
  platform::SetReadOnlyAttributes(list);
}
