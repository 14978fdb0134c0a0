// Arbitrary templates against a table of arbitrary names and values, cycles
// included: the expansion must always end, with a text or with one of its two
// errors.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/run_error.h"
#include "locations/location_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // "\n"-separated fields: the template, then name and value of rows 1, 2, ...
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  auto take_field = [&data] {
    const size_t end = data.find('\n');
    const std::string_view field = data.substr(0, end);
    data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
    return std::string(field);
  };
  const std::string path_template = take_field();
  LocationTable table;
  for (int16_t row = 1; row <= LocationTable::kRows && !data.empty(); ++row) {
    table.Row(row).name = take_field();
    table.Row(row).value = take_field();
  }
  try {
    ExpandPlaceholders(table, path_template);
  } catch (const base::RunError& error) {
    const std::string message = error.what();
    if (message.rfind("Overflow", 0) != 0 &&
        message.find("refers back to itself") == std::string::npos)
      std::abort();
  }
  return 0;
}
