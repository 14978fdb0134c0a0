#ifndef TAVRIN_PLATFORM_TEMP_FILE_H_
#define TAVRIN_PLATFORM_TEMP_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace platform {

// A new file written beside its target, which then takes the target's place
// in one step, or is removed. The calling sequence:
//
//   TempFile file = TempFile::CreateBeside(target, "list");
//   file.Append(...);               // as often as needed
//   file.Sync();
//   file.KeepReplacing(backup);     // or file.KeepAsTarget() where no target is
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
  // Returns once the whole file is on stable storage. It stays open, and
  // held against RemoveStaleTempFilesBeside, until it is kept.
  void Sync();

  // Gives the file the access rights of the file at `path`.
  void TakeAccessRightsOf(const std::string& path);

  // Where the target exists: the target becomes this file, with the old
  // target's access rights, and the old target stays as `backup` (a second
  // name for it, or a flushed copy where the file system has no hard links),
  // in place of a stale file or link there, which is deleted. At every
  // moment the target's path holds the whole old or the whole new file.
  void KeepReplacing(const std::string& backup);
  // Where nothing is at the target: this file becomes the target, with the
  // rights taken, or else the rights a new file gets by default.
  void KeepAsTarget();

 private:
  TempFile(File file, std::string target, std::string noun);
  void KeepOldTargetAs(const std::string& backup);
  void RenameOverTarget();

  File file_;
  std::string path_;
  std::string target_;
  std::string noun_;
  bool rights_given_ = false;
  bool kept_ = false;
};

// Removes the temp files in the directories of `targets` that runs killed
// before they could keep them left behind, and none that a live run holds,
// nor a target named like one. Quiet: whatever cannot be removed stays.
void RemoveStaleTempFilesBeside(const std::vector<std::string>& targets);

// Writes a copy of `from`, with its access rights, at `to`, in place of a
// file or link there, and returns once it is on stable storage. The copy is
// written beside `to` and renamed over it: `to` is never a partial copy.
void CopyFileDurably(const std::string& from, const std::string& to);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_TEMP_FILE_H_
