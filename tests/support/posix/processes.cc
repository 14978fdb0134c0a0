#include <unistd.h>

#include "support/processes.h"

unsigned long AnotherLiveProcessId() { return static_cast<unsigned long>(getppid()); }
