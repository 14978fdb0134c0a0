#include "platform/run_turn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "platform/posix/native_path.h"

// The turn is an flock on the list's directory: no file of its own to make or
// leave behind, and one lock for the list and the temp files beside it. The
// kernel lets it go when its run ends, however it ends.
namespace platform {

RunTurn RunTurn::Take(const std::string& list, std::chrono::milliseconds wait) {
  if (list.empty()) return RunTurn();  // no list, no directory: the run is refused anyway
  const int handle =
      open(NativePath(DirectoryOf(list)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return RunTurn();  // a missing directory fails the run later, with its reason
  RunTurn turn(handle);
  // Polled, with short growing pauses, so that the wait has its bound.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (std::chrono::milliseconds pause{1}; flock(handle, LOCK_EX | LOCK_NB) != 0;
       pause = std::min(pause * 2, std::chrono::milliseconds{50})) {
    // No locks here (ENOLCK, EOPNOTSUPP on some network file systems,
    // EINVAL): no turn, as before runs took turns.
    if (errno != EWOULDBLOCK) return RunTurn();
    if (std::chrono::steady_clock::now() >= deadline) throw NoTurnWithin(list, wait);
    std::this_thread::sleep_for(pause);
  }
  return turn;
}

RunTurn::RunTurn(RunTurn&& other) noexcept
    : handle_(other.handle_), held_(std::exchange(other.held_, false)) {}

RunTurn::~RunTurn() {
  if (held_) close(static_cast<int>(handle_));  // lets the lock go
}

}  // namespace platform
