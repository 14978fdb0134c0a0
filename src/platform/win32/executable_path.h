#ifndef TAVRIN_PLATFORM_WIN32_EXECUTABLE_PATH_H_
#define TAVRIN_PLATFORM_WIN32_EXECUTABLE_PATH_H_

#include <string>

namespace platform {

// The program's path in the ANSI code page, as near as the code page comes
// where it lacks some of its characters (best-fit and default characters):
// for what only shows it, such as the event log.
std::string NearestExecutablePath();

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_EXECUTABLE_PATH_H_
