#ifndef TAVRIN_TESTS_SUPPORT_STRING_SINK_H_
#define TAVRIN_TESTS_SUPPORT_STRING_SINK_H_

#include <string>
#include <string_view>

#include "job/line_stamper.h"

// A LineSink that keeps the new list in memory.
class StringSink : public LineSink {
 public:
  void Append(std::string_view bytes) override { text.append(bytes); }
  void CutTo(uint64_t size) override { text.resize(static_cast<size_t>(size)); }
  uint64_t Size() const override { return text.size(); }

  std::string text;
};

#endif  // TAVRIN_TESTS_SUPPORT_STRING_SINK_H_
