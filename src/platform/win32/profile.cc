#include "platform/profile.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size) {
  if (buffer_size == 0) return "";
  std::vector<char> buffer(buffer_size);
  // An empty default: Windows gives an all-blank default back as the empty
  // text, but Wine gives back one blank.
  const DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                               static_cast<DWORD>(buffer.size()), file.c_str());
  return std::string(buffer.data(), count);
}

}  // namespace platform
