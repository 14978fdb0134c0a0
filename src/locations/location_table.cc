#include "locations/location_table.h"

#include "base/run_error.h"
#include "platform/process.h"

namespace {

void CheckRow(int16_t row) {
  if (row < 1 || row > LocationTable::kRows)
    throw base::RunError("Subscript out of range", "location row " + std::to_string(row),
                         "rows are numbered 1 to " + std::to_string(LocationTable::kRows));
}

}  // namespace

const Location& LocationTable::Row(int16_t row) const {
  CheckRow(row);
  return rows_[static_cast<size_t>(row - 1)];
}

Location& LocationTable::Row(int16_t row) {
  CheckRow(row);
  return rows_[static_cast<size_t>(row - 1)];
}

void PresetLocations(LocationTable& table) {
  table.Row(2) = {"VelmoToolsDir", "C:\\VelmoTools"};
  table.Row(3) = {"VelmoDCSDir", "C:\\VelmoDCS"};
  table.Row(4) = {"VisuDir", "C:\\Omnaro"};
  table.Row(5) = {"ServicePackDir", "C:\\ServicePacks"};
  table.Row(6) = {"VisiWinDir", "C:\\VisiWin"};
  table.Row(7) = {"Computer_Ini", "C:\\Computer.ini"};
  table.Row(kSoftwareListRow) = {"Software_Txt", "C:\\Software.txt"};
  table.Row(9) = {"ServicePack_Log", "C:\\VelmoServicePack.log"};
  table.Row(10) = {"UsersProfile", "C:\\Winnt\\Profiles\\Velmo"};
}

void ApplyEnvironmentOverride(LocationTable& table, int16_t row) {
  Location& location = table.Row(row);
  if (location.name.empty()) return;
  std::string candidate = platform::LookUpEnvironment(location.name);
  if (!candidate.empty()) location.value = std::move(candidate);
}
