#ifndef TAVRIN_PLATFORM_PROFILE_H_
#define TAVRIN_PLATFORM_PROFILE_H_

#include <cstddef>
#include <string>

namespace platform {

// The value of `key` in `section` of the profile (INI) file at `file`, as the
// Windows private-profile lookup gives it into a buffer of `buffer_size`
// characters: at most buffer_size - 1 characters, and the empty text when
// the file, the section or the key is missing. A file that is there but
// cannot be read (no permission, held by another program past the wait,
// not an ordinary file) throws RunError "cannot read": a missing version
// would be stamped over the one the list records.
std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROFILE_H_
