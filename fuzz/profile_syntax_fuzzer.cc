// Arbitrary profile file bytes, section, key and buffer size against the
// profile reader: it must not crash, and its answer must fit the buffer and
// hold no line end or NUL.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/profile_syntax.h"

namespace {

// Takes a text of up to 31 bytes, its length in the first byte, off `data`.
std::string_view TakeName(std::string_view& data) {
  if (data.empty()) return {};
  const size_t length = std::min<size_t>(static_cast<unsigned char>(data[0]) % 32, data.size() - 1);
  const std::string_view name = data.substr(1, length);
  data.remove_prefix(1 + length);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  if (data.empty()) return 0;
  const size_t buffer_size = static_cast<unsigned char>(data[0]) + 1;  // 1 to 256
  data.remove_prefix(1);
  const std::string_view section = TakeName(data);
  const std::string_view key = TakeName(data);
  const std::string value = base::FindProfileValue(data, section, key, buffer_size);
  if (value.size() >= buffer_size) std::abort();
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
  return 0;
}
