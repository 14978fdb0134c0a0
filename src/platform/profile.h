#ifndef TAVRIN_PLATFORM_PROFILE_H_
#define TAVRIN_PLATFORM_PROFILE_H_

#include <cstddef>
#include <string>

namespace platform {

// The value of `key` in `section` of the profile (INI) file at `file`, as the
// Windows private-profile lookup gives it into a buffer of `buffer_size`
// characters: at most buffer_size - 1 characters, and the empty text when
// the file, the section or the key is missing. Every system reads the file's
// bytes itself, through one open file, and applies base::FindProfileValue,
// the rules of the Windows lookup, to them: the system's lookup opens the
// file on its own and takes one that it cannot open for a missing one. A
// file that is there but cannot be read (no permission, held by another
// program past the wait, no ordinary file, larger than 16 MiB) throws
// RunError "cannot read": a missing version would be stamped over the one
// the list records.
std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROFILE_H_
