#ifndef TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_
#define TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_

#include <windows.h>

#include <string>

namespace platform {

// An entry from the source "tavrin" in the Application event log, of `type`:
// EVENTLOG_ERROR_TYPE (event ID 1) or EVENTLOG_WARNING_TYPE (event ID 2),
// one ID per kind for filters of fleet monitoring. It holds `message`, and
// the program's path, which tells which copy ran. Quiet: an entry that
// cannot be written is left out.
void LogEvent(WORD type, const std::string& message) noexcept;

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_
