#include <exception>
#include <new>

#include "job/software_list.h"
#include "job/version_lookup.h"
#include "platform/process.h"

namespace {

// The whole run: builds the location table with its environment overrides,
// reads the installed version and stamps the software list. Throws RunError
// at the first step that fails; nothing done before it is undone.
void RunJob() {
  LocationTable table;
  PresetLocations(table);
  // Row 1 is free, and no name to look up; the rows after the presets are
  // never overridden.
  for (int16_t row = 1; row <= kLastPresetRow; ++row) {
    Location& location = table.Row(row);
    if (location.name.empty()) continue;
    try {
      ApplyEnvironmentOverride(table, row, platform::LookUpEnvironment(location.name));
    } catch (const base::RunError& error) {
      // Only the paths that use this location fail, when they are expanded.
      location.unusable = error;
    }
  }
  const std::string program = platform::ExecutablePath();
  StampSoftwareList(table,
                    LookUpVersionText(base::ParentDirectory(program, platform::AnsiLeadBytes())));
}

}  // namespace

// Takes no arguments. A run does its work silently and exits 0, or reports
// one line saying why it failed (see platform::ReportFailure) and exits 1.
int main() {
  platform::PrepareUnattendedRun();
  try {
    RunJob();
    return 0;
  } catch (const std::bad_alloc&) {
    platform::ReportFailure("out of memory");
  } catch (const std::exception& error) {
    platform::ReportFailure(error.what());
  } catch (...) {
    platform::ReportFailure("unexpected failure");
  }
  return 1;
}
