#ifndef TAVRIN_PLATFORM_ACCESS_CONTROL_H_
#define TAVRIN_PLATFORM_ACCESS_CONTROL_H_

#include <memory>
#include <string>
#include <utility>

namespace platform {

class File;
struct FileFacts;

// What a file that is replaced by a new one carries besides its bytes and
// its rights, for the new file to keep. On Windows: its permissions (the
// DACL, protected from inheritance or inheriting) and its creation time, what
// Windows' own ReplaceFile keeps too; not its owner, which stays whoever
// made the new file. On POSIX nothing: the new file has the old one's owner,
// group and mode before it takes its place (File::TakeRights).
//
// Read from the open old file, so that it is the file that was read,
// whatever its path names by the time the new file is in place, a link's
// target included; carried once the new file is in place, where a mistake
// can neither block nor undo the replacement.
class AccessControl {
 public:
  // What `file`, which `facts` describe, carries now. Quiet: what cannot
  // be read is reported by CarryTo.
  static AccessControl Of(const File& file, const FileFacts& facts);

  // Gives what was read to the file at `path`, and says whether it tried:
  // then the file's attributes may have changed with it (Wine takes the
  // read-only attribute away). Never fails: the file keeps what the system
  // gave it of whatever cannot be carried, and on Windows a Warning entry in
  // the Application event log says what and why, naming the file by `noun`
  // ("cannot carry the old list's permissions ...").
  bool CarryTo(const std::string& path, const std::string& noun) const noexcept;

 private:
  // What was read, and what carries it, per system.
  struct Carried;
  explicit AccessControl(std::shared_ptr<const Carried> carried) : carried_(std::move(carried)) {}
  void CarryCreationTime(const std::string& path, const std::string& noun) const;
  void CarryDacl(const std::string& path, const std::string& noun) const;

  std::shared_ptr<const Carried> carried_;
};

}  // namespace platform

#endif  // TAVRIN_PLATFORM_ACCESS_CONTROL_H_
