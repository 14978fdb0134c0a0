#include "job/run_job.h"

#include <cstdint>

#include "job/stamping.h"
#include "job/version_lookup.h"
#include "locations/location_table.h"
#include "platform/executable.h"

void RunJob() {
  LocationTable table;
  PresetLocations(table);
  // Row 1 is free and skipped inside; rows 11 to 20 are never overridden.
  for (int16_t row = 1; row <= 10; ++row) ApplyEnvironmentOverride(table, row);
  const std::string version_text = LookUpVersionText(platform::ExecutableDirectory());
  StampSoftwareList(table, version_text);
}
