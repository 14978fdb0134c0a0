#ifndef TAVRIN_JOB_LINE_STAMPER_H_
#define TAVRIN_JOB_LINE_STAMPER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A line mentions the service pack when it holds this text, letter case exact.
inline constexpr std::string_view kServicePackMarker = "Service Pack";

// The line that records the installed version.
std::string StampLine(const std::string& version_text);

// How a list's text is stored, as its first bytes tell. Only a byte order
// mark makes a list anything but 8-bit bytes: no code page is ever guessed.
enum class ListEncoding {
  kBytes,    // 8-bit text, UTF-8 without a mark too
  kUtf8,     // EF BB BF, then 8-bit text
  kUtf16Le,  // FF FE, then 16-bit units, low byte first
  kUtf16Be,  // FE FF, then 16-bit units, high byte first
};

// The encoding a list starting with `first_bytes` has; its first three
// bytes (or all of a shorter list) are enough.
ListEncoding EncodingOf(std::string_view first_bytes);

inline bool IsUtf16(ListEncoding encoding) {
  return encoding == ListEncoding::kUtf16Le || encoding == ListEncoding::kUtf16Be;
}

// Where the new list goes, as bytes, whatever its encoding. A line is
// written as it comes; when its marker turns up late, the line is cut off
// again.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Append(std::string_view bytes) = 0;
  // Cuts what was appended back to its first `size` bytes.
  virtual void CutTo(uint64_t size) = 0;
  virtual uint64_t Size() const = 0;
};

// The line rules on a list of units of one kind (see line_stamper.cc).
template <typename Unit>
class LineRules;

// Rewrites a software list as it streams through, by the line rules, in the
// list's own encoding: the byte order mark stays first, and a UTF-16 list
// gets its stamp line in UTF-16 of the same byte order.
class LineStamper {
 public:
  // `stamp_line` must be plain ASCII when `encoding` is UTF-16: it is
  // widened byte by byte.
  explicit LineStamper(const std::string& stamp_line, ListEncoding encoding = ListEncoding::kBytes);
  ~LineStamper();

  // Takes the next piece of the old list, which starts with the byte order
  // mark its encoding has, and writes what it makes of it.
  void Feed(std::string_view piece, LineSink& out);

  // Ends the old list: ends its last line when that had no line end, and
  // appends the stamp line when no line held the marker. A UTF-16 list that
  // ends in half a unit keeps that odd byte, unchanged, as the new list's
  // last byte: it belongs to no line, and dropping it would lose data.
  void Finish(LineSink& out);

 private:
  const ListEncoding encoding_;
  size_t mark_left_;  // bytes of the byte order mark still to pass through
  std::unique_ptr<LineRules<char>> bytes_;
  std::unique_ptr<LineRules<char16_t>> units_;
  // The UTF-16 bytes not yet decoded: between pieces none, or a unit's first.
  std::string undecoded_;
  std::u16string decoded_;  // the current piece as UTF-16 units
};

#endif  // TAVRIN_JOB_LINE_STAMPER_H_
