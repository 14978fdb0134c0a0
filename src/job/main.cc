#include <exception>
#include <string>

#include "job/run_job.h"
#include "platform/process.h"

// Takes no arguments. A run prints nothing and exits 0, or writes one line
// on stderr and exits 1.
int main() {
  platform::SuppressErrorDialogs();
  try {
    RunJob();
  } catch (const std::exception& error) {
    platform::WriteErrorLine(std::string("tavrin: ") + error.what());
    return 1;
  } catch (...) {
    platform::WriteErrorLine("tavrin: unexpected failure");
    return 1;
  }
  return 0;
}
