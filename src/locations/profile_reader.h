#ifndef TAVRIN_LOCATIONS_PROFILE_READER_H_
#define TAVRIN_LOCATIONS_PROFILE_READER_H_

#include <string>

// The value of `key` in `section` of the profile (INI) file `file`, cut to
// its first 254 characters; the empty text when the file, the section or the
// key is missing, or the value is empty.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file);

#endif  // TAVRIN_LOCATIONS_PROFILE_READER_H_
