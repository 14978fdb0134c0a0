#ifndef TAVRIN_PLATFORM_PROFILE_SYNTAX_H_
#define TAVRIN_PLATFORM_PROFILE_SYNTAX_H_

#include <string>
#include <string_view>

namespace platform {

// The value of `key` in `section` of a profile file's `contents` as the
// Windows private-profile lookup gives it into a buffer of `buffer_size`
// characters; the empty text when there is none. Needs no system call, so
// every platform can check itself against it.
//
// - Lines end at CR LF, LF or CR. A UTF-8 or UTF-16 byte order mark is
//   understood; UTF-16 text is narrowed to 8 bits ("?" beyond Latin-1).
// - Section and key names match without regard to letter case; the first
//   matching key of the first matching section wins. Later sections of the
//   same name are not searched.
// - Blanks (space, tab, vertical tab, form feed, Ctrl-Z) around a key, its
//   value and inside a section's brackets are dropped; then one pair of like
//   quotes (" or ') around the whole value. A NUL ends the value.
// - Lines before any section hold no key. A line without "=" is a key with
//   an empty value. A ";" is an ordinary character.
// - The value is cut to buffer_size - 1 characters. A quoted value whose text
//   and closing quote just fill the buffer loses its last character too, as
//   the lookup strips the quote from what it copied.
std::string FindProfileValue(std::string_view contents, std::string_view section,
                             std::string_view key, size_t buffer_size);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_PROFILE_SYNTAX_H_
