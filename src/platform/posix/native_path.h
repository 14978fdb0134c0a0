#ifndef TAVRIN_PLATFORM_POSIX_NATIVE_PATH_H_
#define TAVRIN_PLATFORM_POSIX_NATIVE_PATH_H_

#include <string>

namespace platform {

// The POSIX path for a path in Windows form, taken at the moment it is handed
// to the system: every "\" becomes "/", and a leading drive "X:" becomes
// "/mnt/x", where WSL mounts the Windows drives. Other paths stay as they are.
std::string NativePath(const std::string& path);

// The directory that holds `path`, in Windows form: "." for a bare name.
std::string DirectoryOf(const std::string& path);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_POSIX_NATIVE_PATH_H_
