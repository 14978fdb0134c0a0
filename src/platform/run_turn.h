#ifndef TAVRIN_PLATFORM_RUN_TURN_H_
#define TAVRIN_PLATFORM_RUN_TURN_H_

#include <chrono>
#include <cstdint>
#include <string>

#include "base/run_error.h"

namespace platform {

// How long a run waits for its turn while another run of tavrin works in the
// same directory. A run takes well under a second (a 100 MB list a few
// hundred milliseconds), so a wait this long means a run that hangs, not a
// queue; a setup script still ends within a minute.
constexpr std::chrono::milliseconds kLongestTurnWait{60000};

// The turn of one run of tavrin in the directory of a list: runs on lists
// there take turns, so that one does not take another's swap for an edit by
// another program. Held from Take until it is destroyed; a run that ends,
// killed or not, lets it go (the system sees to that). POSIX: flock on the
// directory; Windows: a named mutex after the directory's identity (volume
// serial and file index), so every spelling of the directory meets.
class RunTurn {
 public:
  // Waits for the turn in the directory of `list`, up to `wait`, and throws
  // NoTurnWithin when another run keeps it longer. Where the system cannot
  // give a turn there (a file system without locks, a directory that cannot
  // be opened or has no identity), the run goes on without one: its look at
  // the list before the swap still keeps what others change.
  static RunTurn Take(const std::string& list, std::chrono::milliseconds wait = kLongestTurnWait);

  RunTurn(RunTurn&& other) noexcept;
  RunTurn& operator=(RunTurn&&) = delete;
  RunTurn(const RunTurn&) = delete;
  RunTurn& operator=(const RunTurn&) = delete;
  ~RunTurn();

 private:
  using Handle = std::intptr_t;
  RunTurn() = default;
  explicit RunTurn(Handle handle) : handle_(handle), held_(true) {}

  Handle handle_ = 0;
  bool held_ = false;  // owns handle_, the turn once Take returns it
};

// The error of a run that waited `wait` for its turn on `list` in vain.
inline base::RunError NoTurnWithin(const std::string& list, std::chrono::milliseconds wait) {
  const auto ms = wait.count();
  const std::string span =
      ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return base::RunError("cannot stamp the software list", list,
                        "another run of tavrin has been stamping it for over " + span);
}

}  // namespace platform

#endif  // TAVRIN_PLATFORM_RUN_TURN_H_
