#ifndef TAVRIN_BASE_WINDOWS_PATH_H_
#define TAVRIN_BASE_WINDOWS_PATH_H_

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>

// Paths in Windows form ("C:\Software.txt", "\\server\share\list.txt"),
// taken apart without asking the system. "\" and "/" both separate names.
namespace base {

// The bytes that start a double-byte character in the ANSI code page (932,
// 936, 949, 950); none in a single-byte code page. The second byte of such
// a character may be that of "\", which is then no separator.
using LeadBytes = std::bitset<256>;

// The length of the path's root, which names no file of its own: "C:\" or
// "C:" (a drive), "\" (the current drive's root), "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\" and "\\.\device\"; 0 for a relative
// path. On POSIX "/" is the root.
size_t RootLength(std::string_view path, const LeadBytes& lead = {});

// The directory part of `path`, its last separator included: "" for a bare
// name, "C:" for "C:name" (which lies in the current directory of C:).
std::string_view DirectoryPart(std::string_view path, const LeadBytes& lead = {});

// The last name of `path`: what follows its directory part.
std::string_view FinalComponent(std::string_view path, const LeadBytes& lead = {});

// The directory that holds `path`, without its final separator but for a
// drive's root ("C:\") or the root of all ("\", "/").
std::string ParentDirectory(std::string_view path, const LeadBytes& lead = {});

}  // namespace base

#endif  // TAVRIN_BASE_WINDOWS_PATH_H_
