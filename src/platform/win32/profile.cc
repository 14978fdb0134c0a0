#include "platform/profile.h"

#include <windows.h>

#include <vector>

#include "platform/win32/faults.h"

namespace platform {

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  // The lookup cannot tell a file that it cannot open from a missing one:
  // it gives the default for both. So the file is looked at first, and
  // closed again before the lookup opens it.
  if (buffer_size == 0 || !OpenProfile(file)) return "";
  std::vector<char> buffer(buffer_size);
  // An empty default: Windows gives an all-blank default back as the empty
  // text, but Wine gives back one blank. The lookup opens the file as
  // OpenProfile does, and a file it cannot open gives it the default.
  const DWORD count =
      InjectedFault("open-ordinary", file)
          ? 0
          : GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                     static_cast<DWORD>(buffer.size()), file.c_str());
  // Nothing found is checked once more: a program that took the file for
  // itself after the first look would pass for a missing key.
  if (count == 0) OpenProfile(file);
  return std::string(buffer.data(), count);
}

}  // namespace platform
