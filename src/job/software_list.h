#ifndef TAVRIN_JOB_SOFTWARE_LIST_H_
#define TAVRIN_JOB_SOFTWARE_LIST_H_

#include <string>
#include <string_view>

#include "locations/location_table.h"

// Rewrites the software list named by the location "Software_Txt" so that it
// carries exactly one stamp line with `version_text`, keeps the previous list
// as its backup and leaves the list read-only. The list's path holds the
// whole old list or the whole new one at every moment, whatever fails.
void StampSoftwareList(const LocationTable& table, const std::string& version_text);

// The backup of the list at `list_path`: the text before the path's first
// ".", followed by ".bak"; the whole path followed by ".bak" when it has no
// "." or begins with one.
std::string BackupPathFor(std::string_view list_path);

// Whether the first "." of `list_path` lies in its root, as in
// "\\127.0.0.1\share\list.txt" or "\\.\Z:\list.txt", so that its backup
// path would leave no file's path: a bare server name, a share's root, the
// device namespace.
bool BackupPathCutsRoot(std::string_view list_path);

#endif  // TAVRIN_JOB_SOFTWARE_LIST_H_
