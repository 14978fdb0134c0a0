#include "job/run_job.h"

#include <cstdint>

#include "job/software_list.h"
#include "job/version_lookup.h"
#include "locations/location_table.h"
#include "platform/process.h"

void RunJob() {
  LocationTable table;
  PresetLocations(table);
  // Row 1 is free and skipped inside; the rows after the presets are never
  // overridden.
  for (int16_t row = 1; row <= kLastPresetRow; ++row)
    ApplyEnvironmentOverride(table, row, platform::LookUpEnvironment);
  const std::string version_text = LookUpVersionText(platform::ExecutableDirectory());
  StampSoftwareList(table, version_text);
}
