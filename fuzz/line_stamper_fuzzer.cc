// The line stamping on an in-memory list cut into arbitrary pieces must give
// what the line-by-line model of the tests gives for the whole list, in each
// of the encodings a list can have.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "job/line_stamper.h"
#include "support/stamp_model.h"
#include "support/string_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view data(reinterpret_cast<const char*>(bytes), size);
  if (data.empty()) return 0;
  // The first byte: the piece size, and the byte order mark put before the
  // rest (none, UTF-8, UTF-16 LE, UTF-16 BE).
  const unsigned control = static_cast<unsigned char>(data[0]);
  const size_t piece_size = control % 64 + 1;
  static const char* const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  const std::string old_list = kMarks[control / 64] + std::string(data.substr(1));
  const std::string stamp = StampLine("1.2");

  LineStamper stamper(stamp, EncodingOf(old_list));
  StringSink out;
  for (size_t at = 0; at < old_list.size(); at += piece_size)
    stamper.Feed(std::string_view(old_list).substr(at, piece_size), out);
  stamper.Finish(out);
  if (out.text != ModelStamp(old_list, StampFor("1.2"))) std::abort();
  return 0;
}
