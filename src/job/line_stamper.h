#ifndef TAVRIN_JOB_LINE_STAMPER_H_
#define TAVRIN_JOB_LINE_STAMPER_H_

#include <cstdint>
#include <string>
#include <string_view>

// A line mentions the service pack when it holds this text, letter case exact.
inline constexpr std::string_view kServicePackMarker = "Service Pack";

// The line that records the installed version.
std::string StampLine(const std::string& version_text);

// Where the new list goes. A line is written as it comes; when its marker
// turns up late, the line is cut off again.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Append(std::string_view bytes) = 0;
  // Cuts what was appended back to its first `size` bytes.
  virtual void CutTo(uint64_t size) = 0;
  virtual uint64_t Size() const = 0;
};

// Rewrites a software list as it streams through: the first line that holds
// the marker becomes the stamp line, later ones are dropped, and the stamp
// line is appended when no line held the marker.
//
// A line ends at CR or CR LF; a lone LF stays part of the line. Every line
// written ends with CR LF. All other bytes pass through untouched. Nothing
// but the marker's length is held back, however long a line is.
class LineStamper {
 public:
  explicit LineStamper(std::string stamp_line);

  // Takes the next piece of the old list and writes what it makes of it.
  void Feed(std::string_view piece, LineSink& out);

  // Ends the old list: ends its last line when that had no line end, and
  // appends the stamp line when no line held the marker.
  void Finish(LineSink& out);

 private:
  // Writes unmarked whole lines, the line end of the last one excepted.
  static void CopyLines(std::string_view lines, LineSink& out);
  // Continues the current line with `text`, which holds no line end.
  void ContinueLine(std::string_view text, LineSink& out);
  // Whether the marker lies in the current line's last bytes and `text`.
  bool MarkerAcross(std::string_view text) const;
  // Ends the current line.
  void EndLine(LineSink& out);
  // Where the line after the line end at `cr` starts. A CR that ends the
  // piece sets after_cr_, since its LF may start the next piece.
  size_t PassLineEndNotingFinalCr(std::string_view piece, size_t cr);

  const std::string stamp_line_;
  bool in_line_ = false;        // a line has begun and not yet ended
  uint64_t line_start_ = 0;     // where the current line begins in the output
  std::string tail_;            // the current line's last bytes, for a marker split by pieces
  bool dropping_line_ = false;  // the current line is marked: its rest goes
  bool after_cr_ = false;       // the last piece ended in CR, so a leading LF is its line end
  bool stamped_ = false;
};

#endif  // TAVRIN_JOB_LINE_STAMPER_H_
