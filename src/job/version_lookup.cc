#include "job/version_lookup.h"

#include <optional>

#include "base/profile_syntax.h"
#include "base/run_error.h"
#include "platform/file.h"
#include "platform/process.h"

namespace {

// The lookup's buffer, as the installer's own reader has it: a value longer
// than 254 characters is cut.
constexpr size_t kValueBufferSize = 255;

// The largest profile read: far above any real one, and small enough to be
// read whole.
constexpr size_t kLargestProfile = 16 << 20;

constexpr std::string_view kVersionPrefix = "Velmo Service Pack ";

// The bytes of the profile at `path`, all read through the one open file;
// the empty text when there is none, for then it holds no keys, as for the
// Windows lookup. Opening waits for a program that holds the file (on
// Windows; see File::OpenOrdinaryIfThere), and once it is open, sharing
// reads, no other program can take it for itself until it is read. The bound
// is on what is read: files such as /proc's report no size.
std::string ReadProfileBytes(const std::string& path) {
  std::string contents;
  std::optional<platform::File> file = platform::File::OpenOrdinaryIfThere(path);
  if (!file) return contents;
  char buffer[16384];
  while (const size_t count = file->ReadSome(buffer, sizeof buffer)) {
    contents.append(buffer, count);
    if (contents.size() > kLargestProfile)
      throw base::RunError("cannot read", path, "it is larger than 16 MiB");
  }
  return contents;
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file) {
  return base::FindProfileValue(ReadProfileBytes(file), section, key, kValueBufferSize,
                                platform::NarrowToAnsi);
}

std::string LookUpVersionText(const std::string& program_directory) {
  const std::string text =
      ReadProfileString("Intern", "Text1", program_directory + "\\InstallSp.ini");
  if (text.empty()) return "0.0";
  // Counting from 1, with 0 for "not found", the version starts at the
  // prefix's position plus its length. Without the prefix that is position
  // 19, index 18 (one less than the prefix's length): the text from its 19th
  // character on.
  const size_t prefix = text.find(kVersionPrefix);
  const size_t start =
      prefix == std::string::npos ? kVersionPrefix.size() - 1 : prefix + kVersionPrefix.size();
  return start < text.size() ? text.substr(start) : "";
}
