#include "base/profile_syntax.h"

#include "base/ascii_case.h"

namespace base {

namespace {

// Space, tab and vertical tab; form feed and Ctrl-Z as Wine does, not
// confirmed on Windows.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The value as copied into a buffer of `buffer_size` characters, with its
// quotes stripped: the opening quote is skipped, and the last character copied
// is dropped when everything behind that quote fitted the buffer. That loss at
// the buffer's edge, and the NUL that ends the value, are as Wine does; not
// confirmed on Windows.
std::string CopyValue(std::string_view value, size_t buffer_size) {
  value = value.substr(0, value.find('\0'));
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (quoted) value.remove_prefix(1);
  std::string copy(value.substr(0, buffer_size - 1));
  if (quoted && value.size() <= buffer_size && !copy.empty()) copy.pop_back();
  return copy;
}

// UTF-16 little-endian text narrowed to one byte per code unit; "?" where it
// does not fit.
std::string NarrowUtf16(std::string_view bytes) {
  std::string narrow;
  narrow.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned low = static_cast<unsigned char>(bytes[i]);
    const unsigned high = static_cast<unsigned char>(bytes[i + 1]);
    const unsigned unit = high << 8 | low;
    narrow += unit < 0x100 ? static_cast<char>(unit) : '?';
  }
  return narrow;
}

// The file's text as 8-bit characters. Windows understands the UTF-16
// little-endian mark only: a UTF-8 mark stays in front of the first line, and
// a big-endian file is read byte by byte, where every line of its text starts
// with a NUL and so is neither a header nor a key.
std::string DecodeContents(std::string_view contents) {
  if (contents.substr(0, 2) == "\xFF\xFE") return NarrowUtf16(contents.substr(2));
  return std::string(contents);
}

// Takes the next line off the front of `text`, without its line end.
std::string_view NextLine(std::string_view& text) {
  const size_t end = text.find_first_of("\r\n");
  if (end == std::string_view::npos) {
    const std::string_view line = text;
    text = {};
    return line;
  }
  const std::string_view line = text.substr(0, end);
  const size_t skip = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
  text.remove_prefix(end + skip);
  return line;
}

}  // namespace

std::string FindProfileValue(std::string_view contents, std::string_view section,
                             std::string_view key, size_t buffer_size) {
  if (buffer_size == 0) return "";
  const std::string decoded = DecodeContents(contents);
  std::string_view rest = decoded;
  bool in_section = false;
  bool section_seen = false;
  while (!rest.empty()) {
    const std::string_view line = TrimBlanks(NextLine(rest));
    if (!line.empty() && line.front() == '[') {
      // Only the first section of the name counts.
      if (section_seen) return "";
      // The name ends at the first "]", or with the line when it has none.
      const std::string_view name = line.substr(1, line.find(']') - 1);
      in_section = base::EqualIgnoringAsciiCase(TrimBlanks(name), section);
      section_seen = in_section;
      continue;
    }
    if (!in_section || line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      // A bare key hides a later line of it, as Wine does; not confirmed on
      // Windows.
      if (base::EqualIgnoringAsciiCase(line, key)) return "";
      continue;
    }
    if (base::EqualIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), key))
      return CopyValue(TrimBlanks(line.substr(equals + 1)), buffer_size);
  }
  return "";
}

}  // namespace base
