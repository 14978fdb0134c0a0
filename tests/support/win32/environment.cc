#include <windows.h>

#include <vector>

#include "support/scoped_environment.h"

// The process environment that GetEnvironmentVariableA reads, not the C
// runtime's copy.
std::optional<std::string> GetEnvironment(const std::string& name) {
  std::vector<char> buffer(1 << 16);
  SetLastError(ERROR_SUCCESS);
  const DWORD count =
      GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (count == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  if (count >= buffer.size()) {
    buffer.resize(count);
    return std::string(buffer.data(), GetEnvironmentVariableA(name.c_str(), buffer.data(), count));
  }
  return std::string(buffer.data(), count);
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}
