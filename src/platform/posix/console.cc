#include "platform/console.h"

#include <cstdio>

namespace platform {

void SuppressErrorDialogs() {}

void WriteErrorLine(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

}  // namespace platform
