#include "base/profile_syntax.h"

#include <algorithm>

#include "base/ascii_case.h"

namespace base {

namespace {

// The lookup reads 8-bit text as it is and UTF-16 text in code units, so
// that each rule sees the characters Windows sees; only the value found is
// narrowed.
template <typename Char>
using Text = std::basic_string_view<Char>;

// Drops the blanks around `text`: space, tab and vertical tab; form feed and
// Ctrl-Z as Wine does, not confirmed on Windows.
template <typename Char>
Text<Char> TrimBlanks(Text<Char> text) {
  const Char blanks[] = {' ', '\t', '\v', '\f', '\x1A', 0};
  text.remove_prefix(std::min(text.find_first_not_of(blanks), text.size()));
  return text.substr(0, text.find_last_not_of(blanks) + 1);  // npos + 1 is 0
}

bool IsName(Text<char> text, std::string_view name) { return EqualIgnoringAsciiCase(text, name); }

// In UTF-16 text a name asked for is found by its ASCII characters only:
// which unit another byte stands for depends on the code page.
bool IsName(Text<char16_t> text, std::string_view name) {
  const auto ascii = [](char16_t unit) { return unit < 0x80; };
  return std::all_of(text.begin(), text.end(), ascii) &&
         EqualIgnoringAsciiCase(std::string(text.begin(), text.end()), name);
}

// The value as copied into a buffer of `buffer_size` characters, with its
// quotes stripped: the opening quote is skipped, and the last character copied
// is dropped when everything behind that quote fitted the buffer. That loss at
// the buffer's edge, and the NUL that ends the value, are as Wine does; not
// confirmed on Windows.
template <typename Char>
std::basic_string<Char> CopyValue(Text<Char> value, size_t buffer_size) {
  value = value.substr(0, value.find(Char(0)));
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (quoted) value.remove_prefix(1);
  std::basic_string<Char> copy(value.substr(0, buffer_size - 1));
  if (quoted && value.size() <= buffer_size && !copy.empty()) copy.pop_back();
  return copy;
}

// Takes the next line off the front of `text`, without its line end.
template <typename Char>
Text<Char> NextLine(Text<Char>& text) {
  const Char line_ends[] = {'\r', '\n', 0};
  const size_t end = std::min(text.find_first_of(line_ends), text.size());
  const Text<Char> line = text.substr(0, end);
  const bool cr_lf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
  text.remove_prefix(std::min(end + (cr_lf ? 2 : 1), text.size()));
  return line;
}

template <typename Char>
std::basic_string<Char> FindValue(Text<Char> rest, std::string_view section, std::string_view key,
                                  size_t buffer_size) {
  bool in_section = false;
  while (!rest.empty()) {
    const Text<Char> line = TrimBlanks(NextLine(rest));
    if (!line.empty() && line.front() == '[') {
      // Only the first section of the name counts.
      if (in_section) return {};
      // The name ends at the first "]", or with the line when it has none.
      in_section = IsName(TrimBlanks(line.substr(1, line.find(']') - 1)), section);
      continue;
    }
    if (!in_section || line.empty()) continue;
    const size_t equals = line.find('=');
    if (!IsName(TrimBlanks(line.substr(0, equals)), key)) continue;
    // A bare key hides a later line of it, as Wine does; not confirmed on
    // Windows.
    if (equals == Text<Char>::npos) return {};
    return CopyValue(TrimBlanks(line.substr(equals + 1)), buffer_size);
  }
  return {};
}

// UTF-16 little-endian bytes as code units; an odd last byte is no unit.
std::u16string Utf16Units(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                   static_cast<unsigned char>(bytes[i]));
  return units;
}

}  // namespace

std::string NarrowToLatin1(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const char16_t unit : text) narrow += unit < 0x100 ? static_cast<char>(unit) : '?';
  return narrow;
}

std::string FindProfileValue(std::string_view contents, std::string_view section,
                             std::string_view key, size_t buffer_size, NarrowUtf16 narrow) {
  if (buffer_size == 0) return "";
  // Windows understands the UTF-16 little-endian mark only: a UTF-8 mark
  // stays in front of the first line, and a big-endian file is read byte by
  // byte, where every line of its text starts with a NUL and so is neither a
  // header nor a key.
  if (contents.substr(0, 2) != "\xFF\xFE") return FindValue(contents, section, key, buffer_size);
  const std::u16string units = Utf16Units(contents.substr(2));
  const std::string value =
      narrow(FindValue(std::u16string_view(units), section, key, buffer_size));
  return value.substr(0, buffer_size - 1);
}

}  // namespace base
