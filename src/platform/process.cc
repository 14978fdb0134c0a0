#include "platform/process.h"

// What the process does alike on every system.
namespace platform {

std::string ExecutableDirectory() {
  return base::ParentDirectory(ExecutablePath(), AnsiLeadBytes());
}

}  // namespace platform
