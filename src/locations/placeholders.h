#ifndef TAVRIN_LOCATIONS_PLACEHOLDERS_H_
#define TAVRIN_LOCATIONS_PLACEHOLDERS_H_

#include <string>

#include "locations/location_table.h"

// Replaces every reference "$Name$" in `path_template` by the value of the
// location called Name (letter case ignored), resolving references that the
// values bring in as well. A lone "$" and references to unknown names stay
// as written.
//
// Throws RunError "Overflow" when a "$" is reached at a position that does
// not fit the 16-bit position arithmetic, and a RunError naming the location
// when a value brings back the reference that produced it.
std::string ExpandPlaceholders(const LocationTable& table, const std::string& path_template);

#endif  // TAVRIN_LOCATIONS_PLACEHOLDERS_H_
