#ifndef TAVRIN_PLATFORM_PROCESS_H_
#define TAVRIN_PLATFORM_PROCESS_H_

#include <string>
#include <string_view>

#include "base/windows_path.h"

// What the running process learns from, and says to, its surroundings.
namespace platform {

// Prepares for a run that nobody watches: the system asks the person at the
// PC nothing (no "insert a disk" or crash dialogs, Windows), and a write past
// a file size limit or into a closed pipe fails as an error instead of
// killing the process (POSIX).
void PrepareUnattendedRun();

// Reports why the run failed: "tavrin: " and `message` as one line on the
// standard error stream, where the caller captured it (a program without a
// console may have none). On Windows the message and the program's path also
// go to the Application event log as an error entry, where a technician finds
// them when nobody looked at the stream. Never fails: what cannot be written
// is left out.
void ReportFailure(const std::string& message);

// The whole value of the environment variable `name`, however long; the
// empty text when it is not set. Letter case of `name` matters on POSIX and
// not on Windows. On Windows a value that the ANSI code page cannot hold
// exactly throws RunError: a best-fit text would name another file.
std::string LookUpEnvironment(const std::string& name);

// The full path of the running executable. On Windows a path that the ANSI
// code page cannot hold exactly throws RunError.
std::string ExecutablePath();

// The bytes that start a double-byte character in the ANSI code page, for
// taking paths apart; none on POSIX.
base::LeadBytes AnsiLeadBytes();

// UTF-16 `text` in the ANSI code page, as the system's "A" functions give
// it: best-fit or default ("?") characters where the code page lacks one.
// POSIX, whose texts are plain bytes, takes Latin-1 for the code page.
std::string NarrowToAnsi(std::u16string_view text);

unsigned long CurrentProcessId();

// Whether a process with the id `process_id` is running (or may be: where
// the system will not say, it counts as running).
bool ProcessIsRunning(unsigned long process_id);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROCESS_H_
