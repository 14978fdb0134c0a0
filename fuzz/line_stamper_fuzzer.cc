// The line stamping on an in-memory list cut into arbitrary pieces: the new
// list must have CR LF line ends only, exactly one stamp line, and every
// unmarked line of the old list in order, and nothing else.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "job/line_stamper.h"

namespace {

// The old list's lines: a line ends at CR or CR LF; a last line without end counts.
std::vector<std::string_view> SplitLines(std::string_view list) {
  std::vector<std::string_view> lines;
  while (!list.empty()) {
    const size_t cr = list.find('\r');
    if (cr == std::string_view::npos) {
      lines.push_back(list);
      break;
    }
    lines.push_back(list.substr(0, cr));
    list.remove_prefix(cr + 1);
    if (!list.empty() && list.front() == '\n') list.remove_prefix(1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  if (data.empty()) return 0;
  const size_t piece_size = static_cast<unsigned char>(data[0]) % 64 + 1;
  const std::string_view old_list = data.substr(1);
  const std::string stamp = StampLine("1.2");

  LineStamper stamper(stamp);
  std::string out;
  for (size_t at = 0; at < old_list.size(); at += piece_size)
    stamper.Feed(old_list.substr(at, piece_size), &out);
  stamper.Finish(&out);

  // Every CR is followed by LF and every LF that follows a CR ends a line.
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) std::abort();
  std::vector<std::string_view> new_lines;
  std::string_view rest = out;
  while (!rest.empty()) {
    const size_t cr = rest.find('\r');
    if (cr == std::string_view::npos || cr + 1 >= rest.size() || rest[cr + 1] != '\n') std::abort();
    new_lines.push_back(rest.substr(0, cr));
    rest.remove_prefix(cr + 2);
  }
  size_t stamps = 0, next = 0;
  const std::vector<std::string_view> old_lines = SplitLines(old_list);
  for (std::string_view line : new_lines) {
    if (line.find(kServicePackMarker) != std::string_view::npos) {
      if (line != stamp) std::abort();
      ++stamps;
      continue;
    }
    // The next unmarked old line must be this one.
    while (next < old_lines.size() &&
           old_lines[next].find(kServicePackMarker) != std::string_view::npos)
      ++next;
    if (next == old_lines.size() || old_lines[next] != line) std::abort();
    ++next;
  }
  while (next < old_lines.size() &&
         old_lines[next].find(kServicePackMarker) != std::string_view::npos)
    ++next;
  if (stamps != 1 || next != old_lines.size()) std::abort();
  return 0;
}
