#ifndef TAVRIN_LOCATIONS_PROFILE_READER_H_
#define TAVRIN_LOCATIONS_PROFILE_READER_H_

#include <string>

// The profile lookup has three layers, each with its own name: this one
// fixes the buffer at 255 characters; platform::LookUpProfileString reads the
// file through one open file on every system; and base::FindProfileValue
// applies the rules of the Windows lookup (GetPrivateProfileStringA) to its
// bytes without any system call. The Windows build checks the two against
// the system's own lookup.
//
// The value of `key` in `section` of the profile (INI) file `file`, cut to
// its first 254 characters; the empty text when the file, the section or the
// key is missing, or the value is empty.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file);

#endif  // TAVRIN_LOCATIONS_PROFILE_READER_H_
