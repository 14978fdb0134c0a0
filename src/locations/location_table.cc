#include "locations/location_table.h"

namespace {

size_t IndexOf(int16_t row) {
  if (row < 1 || row > LocationTable::kRows)
    throw base::RunError("Subscript out of range", "location row " + std::to_string(row),
                         "rows are numbered 1 to " + std::to_string(LocationTable::kRows));
  return static_cast<size_t>(row - 1);
}

}  // namespace

const Location& LocationTable::Row(int16_t row) const { return rows_[IndexOf(row)]; }

Location& LocationTable::Row(int16_t row) { return rows_[IndexOf(row)]; }

void PresetLocations(LocationTable& table) {
  table.Row(2) = {"VelmoToolsDir", "C:\\VelmoTools"};
  table.Row(3) = {"VelmoDCSDir", "C:\\VelmoDCS"};
  table.Row(4) = {"VisuDir", "C:\\Omnaro"};
  table.Row(5) = {"ServicePackDir", "C:\\ServicePacks"};
  table.Row(6) = {"VisiWinDir", "C:\\VisiWin"};
  table.Row(7) = {"Computer_Ini", "C:\\Computer.ini"};
  table.Row(kSoftwareListRow) = {"Software_Txt", "C:\\Software.txt"};
  table.Row(9) = {"ServicePack_Log", "C:\\VelmoServicePack.log"};
  table.Row(kLastPresetRow) = {"UsersProfile", "C:\\Winnt\\Profiles\\Velmo"};
}

void ApplyEnvironmentOverride(LocationTable& table, int16_t row, std::string value) {
  Location& location = table.Row(row);
  if (!location.name.empty() && !value.empty()) location.value = std::move(value);
}
