#ifndef TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_
#define TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_

#include <windows.h>

#include <string>

namespace platform {

// Event IDs of the entries, one per kind, for filters of fleet monitoring.
constexpr DWORD kFailureEventId = 1;
constexpr DWORD kWarningEventId = 2;

// An entry from the source "tavrin" in the Application event log, of `type`
// (EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE): `message`, and the program's
// path, which tells which copy ran. Quiet: an entry that cannot be written
// is left out.
void LogEvent(WORD type, DWORD event_id, const std::string& message) noexcept;

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_EVENT_LOG_H_
