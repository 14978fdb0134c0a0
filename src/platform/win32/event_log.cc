#include "platform/win32/event_log.h"

namespace platform {

// The source is not registered (that takes registry writes), so Event Viewer
// shows its "description for Event ID ... cannot be found" preamble and then
// the two strings, each on a line of its own.
void LogEvent(WORD type, const std::string& message) noexcept {
  try {
    // The program's path, as near as the ANSI code page comes to it (the "A"
    // function's best-fit and default characters): the entry only shows it.
    // Each of a path's at most 32767 UTF-16 units takes at most 3 bytes.
    std::string path(3 * 32768, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    const std::string program = "Program: " + (path.empty() ? "(unknown)" : path);
    const HANDLE source = RegisterEventSourceA(nullptr, "tavrin");
    if (source == nullptr) return;
    const char* strings[] = {message.c_str(), program.c_str()};
    ReportEventA(source, type, 0, type == EVENTLOG_ERROR_TYPE ? 1 : 2, nullptr, 2, 0, strings,
                 nullptr);
    DeregisterEventSource(source);
  } catch (...) {
    // Out of memory: the entry is left out.
  }
}

}  // namespace platform
