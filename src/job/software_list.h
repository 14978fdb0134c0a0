#ifndef TAVRIN_JOB_SOFTWARE_LIST_H_
#define TAVRIN_JOB_SOFTWARE_LIST_H_

#include <string>

#include "locations/location_table.h"

// The backup of the list at `list_path`: the text before the path's first
// ".", followed by ".bak"; the whole path followed by ".bak" when it has no
// "." or begins with one.
std::string BackupPathFor(const std::string& list_path);

// Rewrites the software list named by the location "Software_Txt" so that it
// carries exactly one stamp line with `version_text`, keeps the previous list
// as its backup and leaves the list read-only. The list's path holds the
// whole old list or the whole new one at every moment, whatever fails.
void StampSoftwareList(const LocationTable& table, const std::string& version_text);

#endif  // TAVRIN_JOB_SOFTWARE_LIST_H_
