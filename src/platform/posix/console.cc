#include "platform/console.h"

#include <cstdio>

namespace platform {

void SuppressErrorDialogs() {}

void ReportFailure(const std::string& message) {
  std::fprintf(stderr, "tavrin: %s\n", message.c_str());
}

}  // namespace platform
