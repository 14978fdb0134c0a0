#ifndef TAVRIN_BASE_ASCII_CASE_H_
#define TAVRIN_BASE_ASCII_CASE_H_

#include <string_view>

namespace base {

// Whether `a` and `b` are equal when the letters A to Z and a to z are taken
// as the same; other bytes must match exactly. Names of locations, sections
// and keys, and Windows file names, compare this way.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

}  // namespace base

#endif  // TAVRIN_BASE_ASCII_CASE_H_
