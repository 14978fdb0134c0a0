#ifndef TAVRIN_BASE_PROFILE_SYNTAX_H_
#define TAVRIN_BASE_PROFILE_SYNTAX_H_

#include <string>
#include <string_view>

namespace base {

// UTF-16 text as 8-bit characters of the code page.
using NarrowUtf16 = std::string (*)(std::u16string_view text);

// UTF-16 text narrowed to Latin-1, "?" for what lies beyond it: the code page
// of a system whose texts are plain bytes.
std::string NarrowToLatin1(std::u16string_view text);

// The value of `key` in `section` of a profile file's `contents` as the
// Windows private-profile lookup gives it into a buffer of `buffer_size`
// characters; the empty text when there is none. Needs no system call, so
// every platform can check itself against it. Where Wine's lookup answers
// otherwise, this follows Windows.
//
// - Lines end at CR LF, LF or CR. Only the UTF-16 little-endian byte order
//   mark is understood; such a file is read in UTF-16, and the value found
//   is given in the code page by `narrow`, as the "A" lookup converts it.
//   Any other file is 8-bit text: the bytes of a UTF-8 mark belong to the
//   first line, which so is never a section header, and in UTF-16 big-endian
//   text every line starts with a NUL, so it shows no section.
// - A line that starts with "[" is a section header. The name ends at the
//   first "]", or at the line's end when it has none; the rest of the line
//   is ignored.
// - Section and key names match without regard to letter case; the first
//   matching key of the first matching section wins. Later sections of the
//   same name are not searched. Lines before any section hold no key.
// - Blanks (space, tab, vertical tab) around a key, its value and inside a
//   section's brackets are dropped; then one pair of like quotes (" or ')
//   around the whole value. A ";" is an ordinary character inside a value.
// - The value is cut to buffer_size - 1 characters (in UTF-16 text, also
//   once narrowed, where a code page of double-byte characters lengthens it).
//   In UTF-16 text only names of ASCII characters are found.
//
// As Wine does; not confirmed on Windows: form feed and Ctrl-Z are blanks
// too; a NUL ends the value; a line without "=" is a key with an empty
// value, which hides a later line of the same key; and a quoted value whose
// text and closing quote just fill the buffer loses its last character too.
std::string FindProfileValue(std::string_view contents, std::string_view section,
                             std::string_view key, size_t buffer_size,
                             NarrowUtf16 narrow = NarrowToLatin1);

}  // namespace base

#endif  // TAVRIN_BASE_PROFILE_SYNTAX_H_
