#ifndef TAVRIN_PLATFORM_PROFILE_SYNTAX_H_
#define TAVRIN_PLATFORM_PROFILE_SYNTAX_H_

#include <string>
#include <string_view>

namespace platform {

// The value of `key` in `section` of a profile file's `contents`, read by the
// rules of the Windows private-profile lookup; the empty text when there is
// none. Needs no system call, so every platform can check itself against it.
//
// - Lines end at CR LF, LF or CR. A UTF-8 or UTF-16 byte order mark is
//   understood; UTF-16 text is narrowed to 8 bits ("?" beyond Latin-1).
// - Section and key names match without regard to letter case; the first
//   matching key of the first matching section wins.
// - Blanks and tabs around a key, its value and inside a section's brackets
//   are dropped; then one pair of like quotes (" or ') around the whole value.
// - A line without "=", or before any section, holds no key. A ";" inside a
//   value is part of it.
std::string FindProfileValue(std::string_view contents, std::string_view section,
                             std::string_view key);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROFILE_SYNTAX_H_
