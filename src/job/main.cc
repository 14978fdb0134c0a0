#include <exception>
#include <new>

#include "job/run_job.h"
#include "platform/process.h"

// Takes no arguments. A run does its work silently and exits 0, or reports
// one line saying why it failed (see platform::ReportFailure) and exits 1.
int main() {
  platform::PrepareUnattendedRun();
  try {
    RunJob();
  } catch (const std::bad_alloc&) {
    platform::ReportFailure("out of memory");
    return 1;
  } catch (const std::exception& error) {
    platform::ReportFailure(error.what());
    return 1;
  } catch (...) {
    platform::ReportFailure("unexpected failure");
    return 1;
  }
  return 0;
}
