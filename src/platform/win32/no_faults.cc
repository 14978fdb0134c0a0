#include "platform/win32/faults.h"

namespace platform {

// The program as shipped: every operation asks the system, and every wait
// is slept.
DWORD InjectedFault(const char*, const std::string&) { return 0; }
bool InjectedWait(DWORD) { return false; }
bool InjectedZeroFileIndex() { return false; }

}  // namespace platform
