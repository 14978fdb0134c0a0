#include "locations/location_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/run_error.h"

namespace {

const std::vector<Location> kPresets = {
    {"", ""},
    {"VelmoToolsDir", "C:\\VelmoTools"},
    {"VelmoDCSDir", "C:\\VelmoDCS"},
    {"VisuDir", "C:\\Omnaro"},
    {"ServicePackDir", "C:\\ServicePacks"},
    {"VisiWinDir", "C:\\VisiWin"},
    {"Computer_Ini", "C:\\Computer.ini"},
    {"Software_Txt", "C:\\Software.txt"},
    {"ServicePack_Log", "C:\\VelmoServicePack.log"},
    {"UsersProfile", "C:\\Winnt\\Profiles\\Velmo"},
};

// The table as a run builds it, with `environment` for the environment.
LocationTable OverriddenTable(const std::map<std::string, std::string>& environment = {}) {
  LocationTable table;
  PresetLocations(table);
  for (int16_t row = 1; row <= 10; ++row) {
    const auto value = environment.find(table.Row(row).name);
    ApplyEnvironmentOverride(table, row, value == environment.end() ? "" : value->second);
  }
  return table;
}

TEST(LocationTable, PresetsFillRowsTwoToTenAndLeaveTheRestFree) {
  const LocationTable table = OverriddenTable();
  for (int16_t row = 1; row <= 10; ++row) {
    EXPECT_EQ(table.Row(row).name, kPresets[size_t(row - 1)].name) << row;
    EXPECT_EQ(table.Row(row).value, kPresets[size_t(row - 1)].value) << row;
  }
  for (int16_t row = 11; row <= 20; ++row) {
    EXPECT_EQ(table.Row(row).name, "") << row;
    EXPECT_EQ(table.Row(row).value, "") << row;
  }
}

TEST(LocationTable, RowsOutsideOneToTwentyAreOutOfRange) {
  LocationTable table;
  for (int16_t row : {int16_t{0}, int16_t{21}, int16_t{-1}, int16_t{32767}, int16_t{-32768}}) {
    EXPECT_THROW(table.Row(row), base::RunError) << row;
    EXPECT_THROW(ApplyEnvironmentOverride(table, row, "C:\\x"), base::RunError) << row;
  }
  try {
    table.Row(21);
    FAIL();
  } catch (const base::RunError& error) {
    EXPECT_NE(std::string(error.what()).find("Subscript out of range"), std::string::npos);
  }
}

TEST(EnvironmentOverride, SetValuesReplaceDefaultsAndEmptyOrUnsetOnesKeepThem) {
  // ServicePackDir is unset.
  const LocationTable table = OverriddenTable({{"Software_Txt", "D:\\Lists\\Soft ware.txt "},
                                               {"VisuDir", ""},
                                               {"UsersProfile", "$VisuDir$\\Profile"},
                                               {"NotALocation", "X:\\nowhere"}});
  EXPECT_EQ(table.Row(kSoftwareListRow).value,
            "D:\\Lists\\Soft ware.txt ");  // taken as it is, blank included
  EXPECT_EQ(table.Row(4).value, "C:\\Omnaro");
  EXPECT_EQ(table.Row(5).value, "C:\\ServicePacks");
  EXPECT_EQ(table.Row(10).value, "$VisuDir$\\Profile");  // stored unexpanded
  for (int16_t row = 11; row <= 20; ++row) EXPECT_EQ(table.Row(row).value, "");
}

// Longer than the 4096 characters a fixed buffer would hold, shorter than the
// 32767 that Windows allows.
TEST(EnvironmentOverride, TakesValuesOfAnyLengthAndEveryByte) {
  const std::string long_value = "C:\\" + std::string(20000, 'x') + "\\list.txt";
  const LocationTable table =
      OverriddenTable({{"Software_Txt", long_value}, {"VisuDir", "C:\\Sch\xF6n\x80\xFF"}});
  EXPECT_EQ(table.Row(kSoftwareListRow).value, long_value);
  EXPECT_EQ(table.Row(4).value, "C:\\Sch\xF6n\x80\xFF");
}

TEST(EnvironmentOverride, FreeRowsAreNeverOverridden) {
  LocationTable table;
  table.Row(11).value = "kept";
  ApplyEnvironmentOverride(table, 11, "X:\\elsewhere");
  EXPECT_EQ(table.Row(11).value, "kept");
}

}  // namespace
