#ifndef TAVRIN_JOB_LINE_STAMPER_H_
#define TAVRIN_JOB_LINE_STAMPER_H_

#include <string>
#include <string_view>

// A line mentions the service pack when it holds this text, letter case exact.
inline constexpr std::string_view kServicePackMarker = "Service Pack";

// The line that records the installed version.
std::string StampLine(const std::string& version_text);

// Rewrites a software list as it streams through: the first line that holds
// the marker becomes the stamp line, later ones are dropped, and the stamp
// line is appended when no line held the marker.
//
// A line ends at CR or CR LF; a lone LF stays part of the line. Every line
// written ends with CR LF. All other bytes pass through untouched. Only a
// line that the pieces split is held in memory.
class LineStamper {
 public:
  explicit LineStamper(std::string stamp_line);

  // Takes the next piece of the old list and appends the new list's lines
  // that it completes to `*out`.
  void Feed(std::string_view piece, std::string* out);

  // Ends the old list: appends its last line when that had no line end, and
  // the stamp line when no line held the marker.
  void Finish(std::string* out);

 private:
  // Writes one line, or the stamp line in its place, or nothing for a
  // marked line after the first.
  void EmitLine(std::string_view line, std::string* out);
  // Writes unmarked whole lines, the line end of the last one excepted.
  static void CopyLines(std::string_view lines, std::string* out);
  // Where the line after the line end at `cr` starts. A CR that ends the
  // piece sets after_cr_, since its LF may start the next piece.
  size_t PassLineEndNotingFinalCr(std::string_view piece, size_t cr);

  const std::string stamp_line_;
  std::string partial_line_;  // the start of a line that the next piece continues
  bool after_cr_ = false;     // the last piece ended in CR, so a leading LF is its line end
  bool stamped_ = false;
};

#endif  // TAVRIN_JOB_LINE_STAMPER_H_
