#include "platform/win32/event_log.h"

#include <string>

#include "platform/win32/executable_path.h"

namespace platform {

// The source is not registered (that takes registry writes), so Event Viewer
// shows its "description for Event ID ... cannot be found" preamble and then
// the two strings, each on a line of its own.
void LogEvent(WORD type, DWORD event_id, const std::string& message) noexcept {
  try {
    std::string program = "Program: ";
    try {
      program += NearestExecutablePath();
    } catch (...) {
      program += "(unknown)";
    }
    const HANDLE source = RegisterEventSourceA(nullptr, "tavrin");
    if (source == nullptr) return;
    const char* strings[] = {message.c_str(), program.c_str()};
    ReportEventA(source, type, 0, event_id, nullptr, 2, 0, strings, nullptr);
    DeregisterEventSource(source);
  } catch (...) {
    // Out of memory: the entry is left out.
  }
}

}  // namespace platform
