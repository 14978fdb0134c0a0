#ifndef TAVRIN_PLATFORM_WIN32_FAULTS_H_
#define TAVRIN_PLATFORM_WIN32_FAULTS_H_

#include <windows.h>

#include <functional>
#include <string>

// How the Windows code calls the system about a file, in two parts.
//
// Failures of system calls made on purpose, for tests of what the program
// does when the system refuses something, or when the run is killed, at each
// file operation in turn. Every file operation asks before it calls the
// system. The program links an implementation that never injects
// (no_faults.cc); only test builds link one that does.
//
// Waiting out the failures of file operations that pass: another program
// that holds a file for a moment, such as a virus scanner or an indexer that
// opened the list just as it is replaced, an editor saving InstallSp.ini, or
// a reader of the backup. Windows refuses to open, replace or delete a file
// that someone holds without the sharing the operation needs, and one that
// is being deleted while still open, until they let go.
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

// Whether `code` is how Windows says that someone else holds the file: open
// without the sharing that the operation needs, a byte range locked, or
// deletion pending ("access denied"). Wine says "access denied" too where
// Windows says "sharing violation", for replacing an open file.
inline bool IsHeldError(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
         code == ERROR_LOCK_VIOLATION;
}

// The waits of a whole run: whatever is held, and however many operations
// meet it, a run waits no more than this in all.
constexpr DWORD kRunWaitBudgetMs = 3000;

// Runs `attempt`, which returns 0 or the system's error code, again after
// growing waits while it fails because the file is held; 2131 ms of waits in
// all, so one operation gives up after a little over 2 s. The waits come out
// of the run's budget, and the first operation that gives up spends the
// rest: after one has waited its whole time in vain, the others do not wait
// for the same holder again. Returns the last code. A denial for good
// (permissions) costs the same wait before it is reported; it ends the run
// either way.
inline DWORD RetryWhileHeld(const std::function<DWORD()>& attempt) {
  static const DWORD kWaitsMs[] = {1, 10, 20, 40, 80, 160, 320, 500, 500, 500};
  static DWORD waited_ms = 0;  // the run's: one run, one thread
  DWORD code = attempt();
  for (size_t i = 0; IsHeldError(code) && i < std::size(kWaitsMs); ++i) {
    if (waited_ms + kWaitsMs[i] > kRunWaitBudgetMs) break;
    waited_ms += kWaitsMs[i];
    if (!InjectedWait(kWaitsMs[i])) Sleep(kWaitsMs[i]);
    code = attempt();
  }
  if (IsHeldError(code)) waited_ms = kRunWaitBudgetMs;
  return code;
}

// Full sharing: opening a file this way keeps nobody else from it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// CreateFileA, retried while the file is held unless `wait` is false;
// INVALID_HANDLE_VALUE with the reason in `*code` (where given) when it
// fails. `operation` names the open for the fault injection of test builds.
inline HANDLE OpenWhileHeld(const char* operation, const std::string& path, DWORD access,
                            DWORD share, DWORD disposition, DWORD flags, DWORD* code,
                            bool wait = true) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  const auto open = [&] {
    return FaultOrCall(operation, path, [&] {
      handle = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
      return handle != INVALID_HANDLE_VALUE;
    });
  };
  const DWORD error = wait ? RetryWhileHeld(open) : open();
  if (code) *code = error;
  return handle;
}

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_FAULTS_H_
