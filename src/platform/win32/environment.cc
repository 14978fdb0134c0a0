#include "platform/environment.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string LookUpEnvironment(const std::string& name) {
  std::vector<char> buffer(4096);
  for (;;) {
    const DWORD count =
        GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    // A value that does not fit makes the lookup report the size it needs,
    // its terminating null included; then ask again with that size.
    if (count < buffer.size()) return std::string(buffer.data(), count);
    buffer.resize(count);
  }
}

}  // namespace platform
