#include <cstdio>
#include <exception>

#include "job/run_job.h"

// Takes no arguments. A run prints nothing and exits 0, or prints one line
// on stderr and exits 1.
int main() {
  try {
    RunJob();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrin: %s\n", error.what());
    return 1;
  }
  return 0;
}
