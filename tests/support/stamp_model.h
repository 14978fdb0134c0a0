#ifndef TAVRIN_TESTS_SUPPORT_STAMP_MODEL_H_
#define TAVRIN_TESTS_SUPPORT_STAMP_MODEL_H_

#include <string>
#include <string_view>
#include <vector>

// The stamp line for `version`, without its line end, spelled out as the
// list's other readers expect it.
inline std::string StampFor(const std::string& version) {
  return "Service Pack                   (Version: " + version + ")";
}

// `text` in UTF-16 of the given byte order, as bytes, without a mark.
inline std::string Utf16Bytes(std::u16string_view text, bool big_endian = false) {
  std::string bytes;
  for (char16_t unit : text) {
    const char high = char(unit >> 8), low = char(unit & 0xFF);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// The line rules on whole lines of any kind of unit: a line ends at CR or
// CR LF, the first line holding "Service Pack" becomes `stamp`, later ones
// go, and `stamp` is appended where none held it.
template <typename Text>
Text ModelStampLines(const Text& old_list, const Text& stamp) {
  const std::string_view spelled_marker = "Service Pack";
  const Text marker(spelled_marker.begin(), spelled_marker.end());
  const Text line_end = {'\r', '\n'};
  std::vector<Text> lines;
  Text line;
  bool open = false;
  for (size_t i = 0; i < old_list.size(); ++i) {
    if (old_list[i] == '\r') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (i + 1 < old_list.size() && old_list[i + 1] == '\n') ++i;
    } else {
      line += old_list[i];
      open = true;
    }
  }
  if (open) lines.push_back(line);
  Text out;
  bool stamped = false;
  for (const Text& each : lines) {
    if (each.find(marker) == Text::npos) {
      out += each + line_end;
    } else if (!stamped) {
      out += stamp + line_end;
      stamped = true;
    }
  }
  return stamped ? out : out + stamp + line_end;
}

// The new list for `old_list` (bytes as in the file), in its own encoding:
// a byte order mark stays first; behind FF FE or FE FF the rules apply to
// UTF-16 units, the ASCII `stamp` widened, and an odd last byte stays last;
// anything else is 8-bit text.
inline std::string ModelStamp(std::string_view old_list, const std::string& stamp) {
  const std::string bytes(old_list);
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
    return bytes.substr(0, 3) + ModelStampLines(bytes.substr(3), stamp);
  const bool little = bytes.rfind("\xFF\xFE", 0) == 0, big = bytes.rfind("\xFE\xFF", 0) == 0;
  if (!little && !big) return ModelStampLines(bytes, stamp);
  std::u16string units;
  size_t at = 2;
  for (; at + 1 < bytes.size(); at += 2) {
    const unsigned a = static_cast<unsigned char>(bytes[at]);
    const unsigned b = static_cast<unsigned char>(bytes[at + 1]);
    units += char16_t(big ? a * 256 + b : b * 256 + a);
  }
  const std::u16string wide_stamp(stamp.begin(), stamp.end());
  return bytes.substr(0, 2) + Utf16Bytes(ModelStampLines(units, wide_stamp), big) +
         bytes.substr(at);
}

#endif  // TAVRIN_TESTS_SUPPORT_STAMP_MODEL_H_
