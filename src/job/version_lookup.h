#ifndef TAVRIN_JOB_VERSION_LOOKUP_H_
#define TAVRIN_JOB_VERSION_LOOKUP_H_

#include <string>

// The value of `key` in `section` of the profile (INI) file at `file`, as the
// Windows private-profile lookup gives it into the installer's buffer of 255
// characters: at most 254 characters, and the empty text when the file, the
// section or the key is missing. Every system reads the file's bytes itself,
// through one open file, and applies base::FindProfileValue, the rules of
// the Windows lookup, to them: the system's lookup opens the file on its own
// and takes one that it cannot open for a missing one. A file that is there
// but cannot be read (no permission, held by another program past the wait,
// no ordinary file, larger than 16 MiB) throws RunError "cannot read": a
// missing version would be stamped over the one the list records.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file);

// The installed service pack version, read from key "Text1" of section
// "Intern" of "InstallSp.ini" in `program_directory`: the text behind the
// prefix "Velmo Service Pack ", or from its 19th character on when the
// prefix is missing; "0.0" when there is no such text.
std::string LookUpVersionText(const std::string& program_directory);

#endif  // TAVRIN_JOB_VERSION_LOOKUP_H_
