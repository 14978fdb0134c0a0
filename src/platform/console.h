#ifndef TAVRIN_PLATFORM_CONSOLE_H_
#define TAVRIN_PLATFORM_CONSOLE_H_

#include <string>

namespace platform {

// Keeps the system from asking the person at the PC anything (no "insert a
// disk" or crash dialogs): an unattended run must end by itself.
void SuppressErrorDialogs();

// Reports why the run failed: "tavrin: " and `message` as one line on the
// standard error stream, where the caller captured it (a program without a
// console may have none). On Windows the message and the program's path also
// go to the Application event log as an error entry, where a technician finds
// them when nobody looked at the stream. Never fails: what cannot be written
// is left out.
void ReportFailure(const std::string& message);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_CONSOLE_H_
