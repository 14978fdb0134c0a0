#ifndef TAVRIN_PLATFORM_CONSOLE_H_
#define TAVRIN_PLATFORM_CONSOLE_H_

#include <string>

namespace platform {

// Keeps the system from asking the person at the PC anything (no "insert a
// disk" or crash dialogs): an unattended run must end by itself.
void SuppressErrorDialogs();

// Writes `line` and a line end to the standard error stream, where the
// caller captured it; a program without a console may have none.
void WriteErrorLine(const std::string& line);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_CONSOLE_H_
