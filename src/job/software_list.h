#ifndef TAVRIN_JOB_SOFTWARE_LIST_H_
#define TAVRIN_JOB_SOFTWARE_LIST_H_

#include <string>

#include "locations/location_table.h"

// Rewrites the software list named by the location "Software_Txt" so that it
// carries exactly one stamp line with `version_text`, keeps the previous list
// as its backup and leaves the list read-only. The list's path holds the
// whole old list or the whole new one at every moment, whatever fails.
void StampSoftwareList(const LocationTable& table, const std::string& version_text);

#endif  // TAVRIN_JOB_SOFTWARE_LIST_H_
