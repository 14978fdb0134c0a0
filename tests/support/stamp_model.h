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

// The new list for `old_list` by the line rules, one whole line at a time: a
// line ends at CR or CR LF, the first line holding "Service Pack" becomes
// `stamp`, later ones go, and `stamp` is appended where none held it.
inline std::string ModelStamp(std::string_view old_list, const std::string& stamp) {
  std::vector<std::string> lines;
  std::string line;
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
  std::string out;
  bool stamped = false;
  for (const std::string& each : lines) {
    if (each.find("Service Pack") == std::string::npos) {
      out += each + "\r\n";
    } else if (!stamped) {
      out += stamp + "\r\n";
      stamped = true;
    }
  }
  return stamped ? out : out + stamp + "\r\n";
}

#endif  // TAVRIN_TESTS_SUPPORT_STAMP_MODEL_H_
