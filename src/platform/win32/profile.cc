#include "platform/profile.h"

#include <windows.h>

#include <vector>

#include "base/run_error.h"
#include "platform/system_error.h"
#include "platform/win32/file_errors.h"

namespace platform {

namespace {

constexpr DWORD kLargestProfile = 16 << 20;

// Whether an ordinary file is at `path` that can be read; throws RunError
// "cannot read" for one that is there but cannot be read (after waiting for
// a holder to let go) and for anything else there. The lookup itself cannot
// tell: it gives the default for a file that it cannot open, as for a
// missing one.
bool CheckReadableProfile(const std::string& path) {
  DWORD code = 0;
  const HANDLE file = OpenWhileHeld(path, GENERIC_READ, kShareAll, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, &code);
  if (file == INVALID_HANDLE_VALUE) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
    throw MakeSystemError("cannot read", path, code);
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ordinary = GetFileType(file) == FILE_TYPE_DISK &&
                        GetFileInformationByHandle(file, &info) &&
                        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(file);
  if (!ordinary) throw base::RunError("cannot read", path, "it is not an ordinary file");
  // As on POSIX: a larger file is no profile, and the lookup would read it whole.
  if (info.nFileSizeHigh != 0 || info.nFileSizeLow > kLargestProfile)
    throw base::RunError("cannot read", path, "it is larger than 16 MiB");
  return true;
}

}  // namespace

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  if (buffer_size == 0 || !CheckReadableProfile(file)) return "";
  std::vector<char> buffer(buffer_size);
  // An empty default: Windows gives an all-blank default back as the empty
  // text, but Wine gives back one blank.
  const DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                               static_cast<DWORD>(buffer.size()), file.c_str());
  // Nothing found is checked once more: a program that took the file for
  // itself after the first check would pass for a missing key.
  if (count == 0) CheckReadableProfile(file);
  return std::string(buffer.data(), count);
}

}  // namespace platform
