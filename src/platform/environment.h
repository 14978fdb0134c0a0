#ifndef TAVRIN_PLATFORM_ENVIRONMENT_H_
#define TAVRIN_PLATFORM_ENVIRONMENT_H_

#include <string>

namespace platform {

// The whole value of the environment variable `name`, however long; the
// empty text when it is not set. Letter case of `name` matters on POSIX and
// not on Windows.
std::string LookUpEnvironment(const std::string& name);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_ENVIRONMENT_H_
