#include "job/stamping.h"

#include <vector>

#include "job/line_stamper.h"
#include "locations/placeholders.h"
#include "platform/ascii_case.h"
#include "platform/files.h"
#include "platform/run_error.h"

namespace {

// Large enough that reading and writing cost few system calls, small enough
// that memory stays flat for lists of any size.
constexpr size_t kBufferSize = 128 * 1024;

// The new list, written beside the old one under a name of its own. Unless
// it was moved into place, it is closed and removed when it goes out of scope.
class NewListFile {
 public:
  explicit NewListFile(const std::string& list)
      : handle_(platform::CreateFileBeside(list, &path_)) {}
  ~NewListFile() {
    if (open_) platform::CloseFileQuietly(handle_);
    if (!placed_) platform::RemoveFileQuietly(path_);
  }
  NewListFile(const NewListFile&) = delete;
  NewListFile& operator=(const NewListFile&) = delete;

  const std::string& path() const { return path_; }

  // Writes `text` out and empties it.
  void Write(std::string* text) {
    platform::WriteAll(handle_, text->data(), text->size(), path_);
    text->clear();
  }

  // Writes `text` out once it has grown to a buffer's worth.
  void WriteWhenFull(std::string* text) {
    if (text->size() >= kBufferSize) Write(text);
  }

  void SyncAndClose() {
    platform::SyncToDisk(handle_, path_);
    open_ = false;
    platform::CloseFile(handle_, path_);
  }

  void MarkPlaced() { placed_ = true; }

 private:
  std::string path_;
  platform::FileHandle handle_;
  bool open_ = true;
  bool placed_ = false;
};

// Streams the old list at `list` through `stamper` into `new_list`.
void CopyStamped(const std::string& list, LineStamper& stamper, NewListFile& new_list,
                 std::string* out) {
  const platform::FileHandle old_list = platform::OpenForReading(list);
  try {
    std::vector<char> buffer(kBufferSize);
    while (const size_t count = platform::ReadSome(old_list, buffer.data(), buffer.size(), list)) {
      stamper.Feed(std::string_view(buffer.data(), count), out);
      new_list.WriteWhenFull(out);
    }
  } catch (...) {
    platform::CloseFileQuietly(old_list);
    throw;
  }
  platform::CloseFile(old_list, list);
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
  if (EqualIgnoringAsciiCase(list, backup))
    throw RunError("cannot keep a backup of the software list", list,
                   "the backup's name is the list's own");

  const bool list_exists = platform::FileExists(list);
  NewListFile new_list(list);
  LineStamper stamper(StampLine(version_text));
  std::string out;
  // One piece can double in size when every line ends in a lone CR.
  out.reserve(kBufferSize * 3);
  if (list_exists) CopyStamped(list, stamper, new_list, &out);
  stamper.Finish(&out);
  new_list.Write(&out);
  new_list.SyncAndClose();

  if (list_exists) {
    platform::SetNormalAttributes(list);
    if (platform::FileExists(backup)) platform::RemoveFile(backup);
    platform::ReplaceKeepingBackup(new_list.path(), list, backup);
  } else {
    platform::MoveIntoPlace(new_list.path(), list);
  }
  new_list.MarkPlaced();
  platform::SetReadOnlyAttributes(list);
}
