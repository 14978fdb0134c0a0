#ifndef TAVRIN_PLATFORM_WIN32_SYSTEM_ERROR_H_
#define TAVRIN_PLATFORM_WIN32_SYSTEM_ERROR_H_

#include <string>

#include "platform/run_error.h"

namespace platform {

// The RunError for a Windows call on `path` that failed with `error_code`
// (from GetLastError), with the system's message for it.
RunError SystemError(const std::string& action, const std::string& path, unsigned long error_code);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_SYSTEM_ERROR_H_
