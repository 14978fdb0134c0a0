#include "job/backup_name.h"

#include "base/windows_path.h"

std::string BackupPathFor(std::string_view list_path) {
  const size_t dot = list_path.find('.');
  const bool has_base = dot != std::string_view::npos && dot > 0;
  return std::string(has_base ? list_path.substr(0, dot) : list_path) + ".bak";
}

bool BackupPathCutsRoot(std::string_view list_path) {
  // "." is never the second byte of a double-byte character, so the first
  // "." is found without the code page.
  const size_t dot = list_path.find('.');
  return dot != std::string_view::npos && dot > 0 && dot < base::RootLength(list_path);
}
