#ifndef TAVRIN_JOB_VERSION_LOOKUP_H_
#define TAVRIN_JOB_VERSION_LOOKUP_H_

#include <string>

// The installed service pack version, read from key "Text1" of section
// "Intern" of "InstallSp.ini" in `program_directory`: the text behind the
// prefix "Velmo Service Pack ", or from its 19th character on when the
// prefix is missing; "0.0" when there is no such text.
std::string LookUpVersionText(const std::string& program_directory);

#endif  // TAVRIN_JOB_VERSION_LOOKUP_H_
