#ifndef TAVRIN_LOCATIONS_LOCATION_TABLE_H_
#define TAVRIN_LOCATIONS_LOCATION_TABLE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/run_error.h"

// A named location of the installation: a directory or a file path.
struct Location {
  std::string name;
  std::string value;
  // Why the environment's value for it cannot be used (on Windows: the ANSI
  // code page cannot hold it), if so. Only a path that uses the location
  // fails; the others do not care.
  std::optional<base::RunError> unusable = std::nullopt;
};

// The twenty rows of named locations, numbered 1 to 20. Rows 2 to 10 carry
// the installation's locations once preset; the others stay free.
class LocationTable {
 public:
  static constexpr int16_t kRows = 20;

  // Both throw RunError("Subscript out of range", ...) for a row outside 1 to 20.
  const Location& Row(int16_t row) const;
  Location& Row(int16_t row);

 private:
  std::array<Location, kRows> rows_;
};

// The last row that PresetLocations fills, and the row of "Software_Txt".
inline constexpr int16_t kLastPresetRow = 10;
inline constexpr int16_t kSoftwareListRow = 8;

// Writes the nine built-in locations into rows 2 to 10.
void PresetLocations(LocationTable& table);

// Replaces the row's value by `value`, the environment's value of the
// variable named like the row (empty where it is unset), when that is not
// empty. A free row keeps its value: its empty name is no variable to look up.
void ApplyEnvironmentOverride(LocationTable& table, int16_t row, std::string value);

// Replaces every reference "$Name$" in `path_template` by the value of the
// location called Name (letter case ignored), resolving references that the
// values bring in as well. A lone "$" and references to unknown names stay
// as written.
//
// Throws RunError "Overflow" when a "$" is reached at a position that does
// not fit the 16-bit position arithmetic, and a RunError naming the location
// when a value brings back the reference that produced it.
std::string ExpandPlaceholders(const LocationTable& table, const std::string& path_template);

#endif  // TAVRIN_LOCATIONS_LOCATION_TABLE_H_
