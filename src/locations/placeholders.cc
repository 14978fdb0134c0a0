#include "locations/location_table.h"

#include <string_view>
#include <vector>

#include "base/ascii_case.h"

namespace {

// Positions are 1-based 16-bit numbers, and the position after a "$" must
// still fit, so no "$" may stand at position 32767 or later.
constexpr size_t kLastDollarPosition = 32766;

// Bounds on the work of one expansion, far above what any real template
// needs: values that name each other many times over could otherwise take
// years without ever repeating a reference.
constexpr int kMostSubstitutions = 4096;
constexpr size_t kLongestText = 1 << 20;

// Each character's origin is a set of rows, one bit a row.
using RowSet = uint32_t;
static_assert(LocationTable::kRows <= 32, "a row set has a bit for every row");

// The first row whose name equals `token` without regard to letter case, or
// 0. Free rows take part, so the empty token matches row 1.
int16_t FindRow(const LocationTable& table, std::string_view token) {
  for (int16_t row = 1; row <= LocationTable::kRows; ++row)
    if (base::EqualIgnoringAsciiCase(table.Row(row).name, token)) return row;
  return 0;
}

class Expansion {
 public:
  Expansion(const LocationTable& table, const std::string& path_template)
      : table_(table), template_(path_template), text_(path_template), origin_(text_.size(), 0) {}

  std::string Run() {
    for (size_t open = FindDollar(0); open != std::string::npos; open = FindDollar(settled_)) {
      const size_t close = FindDollar(open + 1);
      if (close == std::string::npos) break;  // a lone "$" stays
      const int16_t row =
          FindRow(table_, std::string_view(text_).substr(open + 1, close - open - 1));
      if (row == 0)
        settled_ = close + 1;  // unknown names stay as written
      else
        Substitute(open, close, row);
    }
    return text_;
  }

 private:
  // Index of the first "$" at or after `from`, or npos.
  size_t FindDollar(size_t from) const {
    const size_t index = text_.find('$', from);
    if (index != std::string::npos && index + 1 > kLastDollarPosition)
      throw base::RunError("Overflow", template_,
                           "its expansion reaches a \"$\" at position " +
                               std::to_string(index + 1) + ", past the 16-bit position limit");
    return index;
  }

  // Replaces text_[open..close] by the row's value. Every character remembers
  // the rows whose values it came from; a reference made of such characters
  // that names one of those rows would bring itself back forever.
  void Substitute(size_t open, size_t close, int16_t row) {
    RowSet produced_by = 0;
    for (size_t i = open; i <= close; ++i) produced_by |= origin_[i];
    const RowSet row_bit = RowSet{1} << (row - 1);
    const Location& location = table_.Row(row);
    if (location.unusable) throw *location.unusable;
    if (produced_by & row_bit)
      throw base::RunError("location refers back to itself", location.name,
                           "expanding \"" + template_ + "\" brings back $" + location.name +
                               "$ through its own value");
    if (++substitutions_ > kMostSubstitutions ||
        text_.size() - (close - open + 1) + location.value.size() > kLongestText)
      throw base::RunError("cannot expand", template_,
                           "the locations refer to each other too often (over " +
                               std::to_string(kMostSubstitutions) + " references or " +
                               std::to_string(kLongestText) + " characters)");
    text_.replace(open, close - open + 1, location.value);
    const auto at = origin_.begin() + static_cast<std::ptrdiff_t>(open);
    origin_.insert(origin_.erase(at, at + static_cast<std::ptrdiff_t>(close - open + 1)),
                   location.value.size(), produced_by | row_bit);
  }

  const LocationTable& table_;
  const std::string& template_;
  std::string text_;
  std::vector<RowSet> origin_;  // per character: bit r-1 set when row r's value brought it
  // Everything before this index is final: replacements happen only behind
  // it, so scanning again from the start would find the same references.
  size_t settled_ = 0;
  int substitutions_ = 0;
};

}  // namespace

std::string ExpandPlaceholders(const LocationTable& table, const std::string& path_template) {
  return Expansion(table, path_template).Run();
}
