#include "locations/location_table.h"

#include "base/run_error.h"

namespace {

void CheckRow(int16_t row) {
  if (row < 1 || row > LocationTable::kRows)
    throw base::RunError("Subscript out of range", "location row " + std::to_string(row),
                         "rows are numbered 1 to " + std::to_string(LocationTable::kRows));
}

void Preset(LocationTable& table, int16_t row, const char* name, const char* value) {
  Location& location = table.Row(row);
  location.name = name;
  location.value = value;
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
  Preset(table, 2, "VelmoToolsDir", "C:\\VelmoTools");
  Preset(table, 3, "VelmoDCSDir", "C:\\VelmoDCS");
  Preset(table, 4, "VisuDir", "C:\\Omnaro");
  Preset(table, 5, "ServicePackDir", "C:\\ServicePacks");
  Preset(table, 6, "VisiWinDir", "C:\\VisiWin");
  Preset(table, 7, "Computer_Ini", "C:\\Computer.ini");
  Preset(table, kSoftwareListRow, "Software_Txt", "C:\\Software.txt");
  Preset(table, 9, "ServicePack_Log", "C:\\VelmoServicePack.log");
  Preset(table, 10, "UsersProfile", "C:\\Winnt\\Profiles\\Velmo");
}

void ApplyEnvironmentOverride(LocationTable& table, int16_t row, const EnvironmentLookup& look_up) {
  Location& location = table.Row(row);
  if (location.name.empty()) return;
  std::string candidate;
  try {
    candidate = look_up(location.name);
  } catch (const base::RunError& error) {
    location.unusable = error;
    return;
  }
  if (!candidate.empty()) location.value = std::move(candidate);
}
