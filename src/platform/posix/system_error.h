#ifndef TAVRIN_PLATFORM_POSIX_SYSTEM_ERROR_H_
#define TAVRIN_PLATFORM_POSIX_SYSTEM_ERROR_H_

#include <string>

#include "platform/run_error.h"

namespace platform {

// The RunError for a system call on `path` that failed with `error_number`.
// The reason names the POSIX path too when it differs from the Windows form.
RunError SystemError(const std::string& action, const std::string& path, int error_number);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_POSIX_SYSTEM_ERROR_H_
