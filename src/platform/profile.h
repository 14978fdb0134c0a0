#ifndef TAVRIN_PLATFORM_PROFILE_H_
#define TAVRIN_PLATFORM_PROFILE_H_

#include <cstddef>
#include <optional>
#include <string>

#include "platform/file.h"

namespace platform {

// The value of `key` in `section` of the profile (INI) file at `file`, as the
// Windows private-profile lookup gives it into a buffer of `buffer_size`
// characters: at most buffer_size - 1 characters, and the empty text when
// the file, the section or the key is missing. Windows asks the system's
// lookup (GetPrivateProfileStringA); POSIX applies base::FindProfileValue,
// the same rules, to the file's bytes. A file that is there but cannot be
// read throws RunError "cannot read" (see OpenProfile): a missing version
// would be stamped over the one the list records.
std::string LookUpProfileString(const std::string& section, const std::string& key,
                                const std::string& file, size_t buffer_size);

// The largest profile read: far above any real one, and small enough to be
// read whole.
constexpr uint64_t kLargestProfile = 16 << 20;

// Opens the profile at `path` to read it; nothing when nothing is there.
// Throws "cannot read" for a file that cannot be read (no permission, held
// by another program past the wait), for anything there that is no ordinary
// file, and for a file larger than kLargestProfile.
std::optional<File> OpenProfile(const std::string& path);

// The RunError for a profile found larger than kLargestProfile as it is read.
base::RunError ProfileTooLarge(const std::string& path);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROFILE_H_
