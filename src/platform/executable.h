#ifndef TAVRIN_PLATFORM_EXECUTABLE_H_
#define TAVRIN_PLATFORM_EXECUTABLE_H_

#include <string>

namespace platform {

// The full path of the running executable.
std::string ExecutablePath();

// The directory of the running executable, without a final separator except
// for a root directory ("C:\" on Windows, "/" on POSIX).
std::string ExecutableDirectory();

}  // namespace platform

#endif  // TAVRIN_PLATFORM_EXECUTABLE_H_
