#ifndef TAVRIN_LOCATIONS_PROFILE_READER_H_
#define TAVRIN_LOCATIONS_PROFILE_READER_H_

#include <string>

// The profile lookup has three layers, each with its own name: this one
// fixes the buffer at 255 characters; platform::LookUpProfileString is the
// system's lookup (GetPrivateProfileStringA on Windows); and on POSIX that
// reads the file and asks base::FindProfileValue, which applies the
// Windows rules to the file's bytes without any system call, so that the
// Windows build can check itself against it too.
//
// The value of `key` in `section` of the profile (INI) file `file`, cut to
// its first 254 characters; the empty text when the file, the section or the
// key is missing, or the value is empty.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file);

#endif  // TAVRIN_LOCATIONS_PROFILE_READER_H_
