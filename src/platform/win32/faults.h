#ifndef TAVRIN_PLATFORM_WIN32_FAULTS_H_
#define TAVRIN_PLATFORM_WIN32_FAULTS_H_

#include <windows.h>

#include <string>

// Failures of system calls made on purpose, for tests of what the program
// does when the system refuses something, or when the run is killed, at each
// file operation in turn. Every file operation asks before it calls the
// system. The program links an implementation that never injects
// (no_faults.cc); only test builds link one that does.
namespace platform {

// The error that `operation` on `path` is to fail with instead of asking the
// system; 0: ask the system. A test build may also end the process here, as
// a kill just before the call would.
DWORD InjectedFault(const char* operation, const std::string& path);

// Asks for `operation` on `path`: the injected error, or else the system,
// through `call`, which returns whether it succeeded. 0 when done, else the
// error.
template <typename Call>
DWORD FaultOrCall(const char* operation, const std::string& path, Call call) {
  if (const DWORD fault = InjectedFault(operation, path)) return fault;
  return call() ? 0 : GetLastError();
}

// Whether a wait of `wait_ms` for a held file is taken care of without
// sleeping (a test build skips it, so that runs with lasting faults stay
// fast); false: sleep it.
bool InjectedWait(DWORD wait_ms);

// Whether files are to have the index 0, as some network file systems give
// every file (a test build stands in for such a share); false: their own.
bool InjectedZeroFileIndex();

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_FAULTS_H_
