#ifndef TAVRIN_PLATFORM_SYSTEM_ERROR_H_
#define TAVRIN_PLATFORM_SYSTEM_ERROR_H_

#include <string>

#include "base/run_error.h"

namespace platform {

// An error number of the operating system: errno on POSIX, GetLastError() on
// Windows. 0 means success.
using SystemCode = unsigned long;

// The RunError for an operation on `path` that the system refused with
// `code`, its reason in the system's words: with the error number on
// Windows, with the POSIX path on POSIX where it differs from `path`.
base::RunError MakeSystemError(const std::string& action, const std::string& path, SystemCode code);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_SYSTEM_ERROR_H_
