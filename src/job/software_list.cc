// Stamping the software list: the stamp, its encoding and the rounds of
// stamping; platform::Replacement puts the new list in place.
#include "job/software_list.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/windows_path.h"
#include "job/line_stamper.h"
#include "platform/file.h"
#include "platform/replacement.h"
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
    if (size < written_) {
      file_.TruncateAt(size);
      written_ = size;
    }
    buffer_.resize(static_cast<size_t>(size - written_));
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
// anything is written, so that the list's encoding is known by then. No
// file, where there is no old list, reads as an empty one.
class OldList {
 public:
  explicit OldList(platform::File* file) : file_(file), buffer_(kBufferSize) {
    // Reads until the buffer holds whatever byte order mark the list has.
    for (size_t count = 1; file_ && count > 0 && first_ < 3; first_ += count) count = Read(first_);
  }

  ListEncoding Encoding() const { return EncodingOf(std::string_view(buffer_.data(), first_)); }

  // Streams the whole list through `stamper` into `out`.
  void FeedTo(LineStamper& stamper, NewListSink& out) {
    for (size_t count = first_; count > 0; count = Read(0))
      stamper.Feed(std::string_view(buffer_.data(), count), out);
  }

 private:
  size_t Read(size_t at) { return file_->ReadSome(buffer_.data() + at, buffer_.size() - at); }

  platform::File* file_;
  std::vector<char> buffer_;
  size_t first_ = 0;  // bytes of the first read
};

// A UTF-16 list is stamped in UTF-16, and only plain ASCII turns into it
// without guessing a code page.
void CheckVersionFitsList(const std::string& list, ListEncoding encoding,
                          const std::string& version_text) {
  const auto beyond_ascii = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  if (IsUtf16(encoding) && std::any_of(version_text.begin(), version_text.end(), beyond_ascii))
    throw base::RunError(
        "cannot stamp the software list", list,
        "the list is UTF-16 text and the version '" + version_text + "' is not plain ASCII");
}

// Refuses what the list's path may not be by its spelling alone.
void CheckListPath(const std::string& list, const std::string& backup) {
  if (list.empty())
    throw base::RunError("the software list's path is empty", "",
                         "Software_Txt expands to nothing");
  // "\\127.0.0.1\share\Software.txt" would have "\\127.bak" as its backup.
  if (BackupPathCutsRoot(list))
    throw base::RunError("cannot keep a backup of the software list", list,
                         "its backup's path '" + backup +
                             "' names no file: the path's first '.' lies in its server, "
                             "share or device name");
}

// Stamps the list, anew where another program changed it meanwhile. The
// list's path holds the whole old list or the whole new one at every
// moment: how, and what a kill leaves after each step, is written beside
// platform::Replacement.
void StampList(const std::string& list, const std::string& version_text) {
  const std::string backup = BackupPathFor(list);
  CheckListPath(list, backup);
  platform::Replacement replacement(
      list, backup,
      {"cannot stamp the software list", "cannot keep a backup of the software list", "list"});
  for (int stamping = 1;; ++stamping) {
    OldList old_list(replacement.Open());
    const ListEncoding encoding = old_list.Encoding();
    CheckVersionFitsList(list, encoding, version_text);
    if (replacement.Replace([&](platform::TempFile& new_list) {
          LineStamper stamper(StampLine(version_text), encoding);
          NewListSink out(new_list);
          old_list.FeedTo(stamper, out);
          stamper.Finish(out);
          out.Flush();
        }))
      return;
    if (stamping == kMaxStampings)
      throw base::RunError("cannot stamp the software list", list,
                           "another program keeps changing it; it is left as that program left it");
  }
}

}  // namespace

std::string BackupPathFor(std::string_view list_path) {
  const size_t dot = list_path.find('.');
  return std::string(list_path.substr(0, dot == 0 ? std::string_view::npos : dot)) + ".bak";
}

// "." is never the second byte of a double-byte character, so the first "."
// is found without the code page; and no root starts with one.
bool BackupPathCutsRoot(std::string_view list_path) {
  return list_path.find('.') < base::RootLength(list_path);
}

void StampSoftwareList(const LocationTable& table, const std::string& version_text) {
  const std::string list = ExpandPlaceholders(table, "$Software_Txt$");
  try {
    StampList(list, version_text);
  } catch (const std::bad_alloc&) {
    // The same one line as any failure, with the list it concerns.
    throw base::RunError("cannot stamp the software list", list, "out of memory");
  }
}
