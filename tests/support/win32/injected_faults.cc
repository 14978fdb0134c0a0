// The fault injection of test builds: TAVRIN_FAULT=<operation>:<error> makes
// the operation of that name fail with that Windows error code (decimal).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/faults.h"

namespace platform {

DWORD InjectedFault(const char* operation) {
  char value[256];
  const DWORD length = GetEnvironmentVariableA("TAVRIN_FAULT", value, sizeof value);
  if (length == 0 || length >= sizeof value) return 0;
  const std::string fault(value, length);
  const size_t colon = fault.rfind(':');
  if (colon == std::string::npos || fault.compare(0, colon, operation) != 0) return 0;
  return static_cast<DWORD>(std::strtoul(fault.c_str() + colon + 1, nullptr, 10));
}

}  // namespace platform
