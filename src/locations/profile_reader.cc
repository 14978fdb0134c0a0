#include "locations/profile_reader.h"

#include "platform/profile.h"

namespace {

constexpr size_t kValueBufferSize = 255;

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file) {
  return platform::LookUpProfileString(section, key, file, kValueBufferSize);
}
