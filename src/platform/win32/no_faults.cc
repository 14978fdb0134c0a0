#include "platform/win32/faults.h"

namespace platform {

// The program as shipped: every operation asks the system.
DWORD InjectedFault(const char*) { return 0; }

}  // namespace platform
