#ifndef TAVRIN_PLATFORM_TEMP_FILE_H_
#define TAVRIN_PLATFORM_TEMP_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace platform {

// A new file written beside its target under a name of its own, which then
// takes the target's place in one step, or is removed. The calling sequence:
//
//   TempFile file = TempFile::CreateBeside(target, "list");
//   file.Append(...);                 // as often as needed; TruncateAt cuts back
//   file.TakeRights(&target_facts, read_only);
//   file.Sync();
//   file.Close();                     // where the rename is to follow at once
//   file.KeepAs(target);
//
// A TempFile that goes out of scope unkept is closed and removed. Failures
// name the file by `noun` ("cannot put the new list in place of ...").
class TempFile {
 public:
  // Creates a new, empty file in the directory of `target`, under a name of
  // its own. It never opens an existing file or follows a link.
  static TempFile CreateBeside(const std::string& target, const std::string& noun);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&&) = delete;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  const std::string& path() const { return path_; }

  void Append(const char* data, size_t size) { file_.WriteAll(data, size); }
  // Cuts the file to its first `size` bytes; appending goes on from there.
  void TruncateAt(uint64_t size) { file_.TruncateAt(size); }
  // Gives the file the rights of the file that `of` describes, or those of a
  // new file, read-only or not (see File::TakeRights).
  void TakeRights(const FileFacts* of, bool read_only) { file_.TakeRights(of, read_only); }
  // Returns once the whole file is on stable storage.
  void Sync() { file_.Sync(); }
  // Closes the file, so that the rename has nothing left to wait for
  // (Windows renames no open file). Until then it is held against
  // RemoveStaleTempFilesBeside; after, its live process guards it.
  void Close() { file_.Close(); }
  // Renames the file, closed first where it is still open, over `target` in
  // one step, replacing a file or link there, and makes the rename durable.
  void KeepAs(const std::string& target);

 private:
  TempFile(File file, std::string noun);

  File file_;
  std::string path_;
  std::string noun_;
  bool kept_ = false;
};

// The longest path that CreateBeside may give a temp file beside `target`
// (the largest process id and attempt), whatever this run's id.
std::string LongestTempPathBeside(const std::string& target);

// A path and what a look at it found: nothing, where it was not looked at.
struct LookedAt {
  std::string path;
  FileFacts facts;
};

// Removes the temp files in the directories of `targets` that runs killed
// before they could keep them left behind: those of ended processes and of
// this one (which has made none yet), none that a live run holds, and no
// target named like one. A read-only target whose attribute went with a
// second name of its file gets it back. Quiet, and it never waits.
void RemoveStaleTempFilesBeside(const std::vector<LookedAt>& targets);

// Gives `file`, found at `from`, the name `to` as well, in place of a file
// or link there: a second name (hard link) made beside `to` and renamed over
// it, or, where `copy_only` or the file system has no second names, a
// flushed copy with `from`'s rights written beside it and renamed over it.
// `to` is never missing or partial: a failure leaves it as it was. False,
// with `to` as it was, when `from` does not name `file` any more. Failures
// name the file by `noun` ("cannot keep the old list as ...").
bool GiveSecondNameOrCopy(const std::string& from, const FileIdentity& file, const std::string& to,
                          const std::string& noun, bool copy_only);

// Gives the file that `existing` names a second name beside `beside`: a new
// temp name, in `*name`. The system's code, as TryAddHardLink gives it.
SystemCode TryLinkBeside(const std::string& existing, const std::string& beside, std::string* name);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_TEMP_FILE_H_
