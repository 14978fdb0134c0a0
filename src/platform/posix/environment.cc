#include "platform/environment.h"

#include <cstdlib>

namespace platform {

std::string LookUpEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

}  // namespace platform
