#include "platform/run_turn.h"

#include <string>

namespace platform {

base::RunError NoTurnWithin(const std::string& list, std::chrono::milliseconds wait) {
  const auto ms = wait.count();
  const std::string span =
      ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return base::RunError("cannot stamp the software list", list,
                        "another run of tavrin has been stamping it for over " + span);
}

}  // namespace platform
