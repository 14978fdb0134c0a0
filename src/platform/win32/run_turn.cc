#include "platform/run_turn.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <cstdio>
#include <utility>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/win32/faults.h"

// The turn is a named mutex, which the system hands to the next waiter when
// its owner ends without letting go (the wait says "abandoned"). Each call
// of the system asks InjectedFault first.
namespace platform {

namespace {

// What every account may do with the mutex: wait for it (SYNCHRONIZE) and
// let it go (MUTEX_MODIFY_STATE), so that a setup run by a service as SYSTEM
// and one run by a user take turns whichever made it first. The creator's
// default ACL would let only its own account and the administrators in.
constexpr char kTurnSecurity[] = "D:(A;;0x00100001;;;WD)";
constexpr DWORD kTurnAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The mutex's name after the identity of the list's directory, not its
// spelling: short names, "subst" drives and UNC paths of one directory meet.
// Global: services and every session share it. uint64_t is unsigned long
// long on Windows.
std::string TurnName(const FileIdentity& directory) {
  char name[64];
  std::snprintf(name, sizeof name, "Global\\tavrin-turn-%08llx-%016llx", directory.volume,
                directory.index);
  return name;
}

// Creates the mutex with kTurnSecurity; null when that cannot be built.
HANDLE CreateTurn(const std::string& name) {
  PSECURITY_DESCRIPTOR security = nullptr;
  if (InjectedFault("turn-security", name) ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(kTurnSecurity, SDDL_REVISION_1,
                                                            &security, nullptr))
    return nullptr;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
  const HANDLE turn =
      InjectedFault("create-turn", name) ? nullptr : CreateMutexA(&attributes, FALSE, name.c_str());
  LocalFree(security);
  return turn;
}

// The mutex named `name`, made where there is none; null where it cannot be
// had (one made by someone else with an ACL that keeps this account out).
// CreateMutexA asks for full access to an existing mutex, which the ACL
// above does not grant, so an existing one is opened for what it grants.
HANDLE OpenTurn(const std::string& name) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (InjectedFault("open-turn", name)) return nullptr;
    if (const HANDLE turn = OpenMutexA(kTurnAccess, FALSE, name.c_str())) return turn;
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
    if (const HANDLE turn = CreateTurn(name)) return turn;
    // Denied: another run made it between the two calls. Open that one.
    if (GetLastError() != ERROR_ACCESS_DENIED) return nullptr;
  }
  return nullptr;
}

}  // namespace

RunTurn RunTurn::Take(const std::string& list, std::chrono::milliseconds wait) {
  if (list.empty()) return RunTurn();  // no list, no directory: the run is refused anyway
  const std::string directory = base::ParentDirectory(list, AnsiLeadBytes());
  // Some network shares give every file the index 0: no identity, no turn.
  const auto identity = IdentityOf(directory.empty() ? "." : directory);
  if (!identity) return RunTurn();
  const std::string name = TurnName(*identity);
  const HANDLE turn = OpenTurn(name);
  if (!turn) return RunTurn();
  const DWORD waited = InjectedFault("wait-turn", name)
                           ? WAIT_FAILED
                           : WaitForSingleObject(turn, static_cast<DWORD>(wait.count()));
  // An owner that ended without letting go hands it on: abandoned is got.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
    return RunTurn(reinterpret_cast<Handle>(turn));
  if (!InjectedFault("close-turn", name)) CloseHandle(turn);
  if (waited == WAIT_TIMEOUT) throw NoTurnWithin(list, wait);
  return RunTurn();
}

RunTurn::RunTurn(RunTurn&& other) noexcept
    : handle_(other.handle_), held_(std::exchange(other.held_, false)) {}

RunTurn::~RunTurn() {
  if (!held_) return;
  const HANDLE turn = reinterpret_cast<HANDLE>(handle_);
  if (!InjectedFault("release-turn", "")) ReleaseMutex(turn);
  if (!InjectedFault("close-turn", "")) CloseHandle(turn);
}

}  // namespace platform
