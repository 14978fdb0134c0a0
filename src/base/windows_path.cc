#include "base/windows_path.h"

#include <algorithm>

#include "base/ascii_case.h"

namespace base {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLead(char c, const LeadBytes& lead) { return lead[static_cast<unsigned char>(c)]; }

// Where the name that starts at `from` ends: its separator's position plus
// one, or the path's end when no separator follows.
size_t PastName(std::string_view path, size_t from, const LeadBytes& lead) {
  for (size_t i = from; i < path.size(); ++i) {
    if (IsLead(path[i], lead))
      ++i;
    else if (IsSeparator(path[i]))
      return i + 1;
  }
  return path.size();
}

// The length of a drive's root at `at` ("C:\" or "C:"), 0 for none.
size_t DriveRootLength(std::string_view path, size_t at) {
  if (path.size() < at + 2 || !IsAsciiLetter(path[at]) || path[at + 1] != ':') return 0;
  return path.size() > at + 2 && IsSeparator(path[at + 2]) ? 3 : 2;
}

}  // namespace

size_t RootLength(std::string_view path, const LeadBytes& lead) {
  if (const size_t drive = DriveRootLength(path, 0)) return drive;
  if (path.empty() || !IsSeparator(path[0])) return 0;
  if (path.size() < 2 || !IsSeparator(path[1])) return 1;
  // "\\?\" and "\\.\": the raw and the device namespace.
  if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
    if (const size_t drive = DriveRootLength(path, 4)) return 4 + drive;
    if (path.size() >= 8 && EqualIgnoringAsciiCase(path.substr(4, 3), "UNC") &&
        IsSeparator(path[7]))
      return PastName(path, PastName(path, 8, lead), lead);
    return PastName(path, 4, lead);
  }
  // "\\server\share\".
  return PastName(path, PastName(path, 2, lead), lead);
}

std::string_view DirectoryPart(std::string_view path, const LeadBytes& lead) {
  size_t length = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLead(path[i], lead))
      ++i;
    else if (IsSeparator(path[i]))
      length = i + 1;
  }
  return path.substr(0, std::max(length, DriveRootLength(path, 0)));
}

std::string_view FinalComponent(std::string_view path, const LeadBytes& lead) {
  return path.substr(DirectoryPart(path, lead).size());
}

std::string ParentDirectory(std::string_view path, const LeadBytes& lead) {
  const std::string_view directory = DirectoryPart(path, lead);
  const bool keeps_separator = (directory.size() == 1 && IsSeparator(directory[0])) ||
                               (directory.size() == 3 && DriveRootLength(directory, 0) == 3);
  if (keeps_separator || directory.empty() || !IsSeparator(directory.back()))
    return std::string(directory);
  return std::string(directory.substr(0, directory.size() - 1));
}

}  // namespace base
