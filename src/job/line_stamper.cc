#include "job/line_stamper.h"

#include <algorithm>

// The line rules on a list of units of one kind (bytes of 8-bit text, or
// UTF-16 units): the first line that holds the marker becomes the stamp
// line, later ones are dropped, and the stamp line is appended when no line
// held the marker.
//
// A line ends at CR or CR LF; a lone LF stays part of the line. Every line
// written ends with CR LF. All other units pass through untouched. Nothing
// but the marker's length is held back, however long a line is.
template <typename Unit>
class LineRules {
 public:
  using Text = std::basic_string<Unit>;
  using View = std::basic_string_view<Unit>;

  // `stamp_line` in units of `Unit`: plain ASCII, widened byte by byte.
  // UTF-16 units are written high byte first where `big_endian`.
  explicit LineRules(std::string_view stamp_line, bool big_endian = false)
      : stamp_line_(Text(stamp_line.begin(), stamp_line.end()) + line_end_),
        big_endian_(big_endian) {}

  void Feed(View piece, LineSink& out) {
    if (piece.empty()) return;
    size_t at = after_cr_ && piece.front() == '\n' ? 1 : 0;
    after_cr_ = false;
    while (at < piece.size()) {
      if (!in_line_) {
        // The whole lines before the next marked one hold no marker: they
        // are copied in bulk, which is what keeps large lists fast.
        const size_t stop = std::min(piece.find(marker_, at), piece.size());
        const size_t last_cr = stop > at ? piece.rfind('\r', stop - 1) : View::npos;
        if (last_cr != View::npos && last_cr >= at) {
          CopyLines(piece.substr(at, last_cr - at), out);
          Write(line_end_, out);
          at = PassLineEndNotingFinalCr(piece, last_cr);
          if (at == piece.size()) return;
        }
        // `at` starts the marked line, or the last line, which the piece may
        // not finish.
        in_line_ = true;
        line_start_ = out.Size();
        tail_.clear();
        dropping_line_ = false;
      }
      const size_t cr = piece.find('\r', at);
      ContinueLine(piece.substr(at, cr == View::npos ? cr : cr - at), out);
      if (cr == View::npos) return;
      if (!dropping_line_) Write(line_end_, out);
      in_line_ = false;
      at = PassLineEndNotingFinalCr(piece, cr);
    }
  }

  void Finish(LineSink& out) {
    if (in_line_ && !dropping_line_) Write(line_end_, out);
    if (!stamped_) Write(stamp_line_, out);
  }

 private:
  // Whether a CR in `lines` is followed by anything but LF (or by nothing).
  // One pass without branches, which the compiler turns into vector code:
  // lists with CR LF line ends are then copied whole instead of line by line.
  static bool HasLoneCr(View lines) {
    if (lines.empty()) return false;
    const Unit* text = lines.data();
    const size_t last = lines.size() - 1;
    unsigned lone = 0;
    for (size_t i = 0; i < last; ++i)
      lone |= unsigned(text[i] == '\r') & unsigned(text[i + 1] != '\n');
    return lone != 0 || text[last] == '\r';
  }

  // Writes unmarked whole lines, the line end of the last one excepted.
  void CopyLines(View lines, LineSink& out) {
    if (!HasLoneCr(lines)) {
      Write(lines, out);
      return;
    }
    size_t from = 0;
    for (size_t cr = lines.find('\r'); cr != View::npos; cr = lines.find('\r', cr + 1)) {
      if (cr + 1 < lines.size() && lines[cr + 1] == '\n') continue;
      Write(lines.substr(from, cr - from), out);  // a lone CR ends its line as CR LF
      Write(line_end_, out);
      from = cr + 1;
    }
    Write(lines.substr(from), out);
  }

  // Continues the current line with `text`, which holds no line end.
  void ContinueLine(View text, LineSink& out) {
    if (dropping_line_ || text.empty()) return;
    // The marker may also lie across the line's last units and `text`.
    const bool marked =
        text.find(marker_) != View::npos ||
        (tail_ + Text(text.substr(0, marker_.size() - 1))).find(marker_) != Text::npos;
    if (marked) {
      // The line is marked: what was written of it goes, and the stamp line
      // takes its place if it is the first.
      out.CutTo(line_start_);
      if (!stamped_) Write(stamp_line_, out);
      stamped_ = true;
      dropping_line_ = true;
      return;
    }
    Write(text, out);
    const size_t keep = marker_.size() - 1;
    tail_.append(text.substr(text.size() - std::min(text.size(), keep)));
    tail_.erase(0, tail_.size() - std::min(tail_.size(), keep));
  }

  // Writes `units` to the new list's bytes: 8-bit text as it is, UTF-16 in
  // the list's byte order.
  void Write(View units, LineSink& out) {
    if constexpr (sizeof(Unit) == 1) {
      out.Append(units);
    } else {
      encoded_.resize(units.size() * 2);
      for (size_t i = 0; i < units.size(); ++i) {
        encoded_[2 * i + (big_endian_ ? 1 : 0)] = char(units[i] & 0xFF);
        encoded_[2 * i + (big_endian_ ? 0 : 1)] = char(units[i] >> 8);
      }
      out.Append(encoded_);
    }
  }

  // Where the line after the line end at `cr` starts. A CR that ends the
  // piece sets after_cr_, since its LF may start the next piece.
  size_t PassLineEndNotingFinalCr(View piece, size_t cr) {
    after_cr_ = cr + 1 == piece.size();
    return !after_cr_ && piece[cr + 1] == '\n' ? cr + 2 : cr + 1;
  }

  const Text marker_ = Text(kServicePackMarker.begin(), kServicePackMarker.end());
  const Text line_end_ = {Unit('\r'), Unit('\n')};
  const Text stamp_line_;       // with its line end
  bool in_line_ = false;        // a line has begun and not yet ended
  uint64_t line_start_ = 0;     // where the current line begins in the output
  Text tail_;                   // the current line's last units, for a marker split by pieces
  bool dropping_line_ = false;  // the current line is marked: its rest goes
  bool after_cr_ = false;       // the last piece ended in CR, so a leading LF is its line end
  bool stamped_ = false;
  const bool big_endian_;
  std::string encoded_;  // the units last written, as bytes
};

std::string StampLine(const std::string& version_text) {
  return std::string(kServicePackMarker) + "                   (Version: " + version_text + ")";
}

ListEncoding EncodingOf(std::string_view first_bytes) {
  if (first_bytes.substr(0, 3) == "\xEF\xBB\xBF") return ListEncoding::kUtf8;
  if (first_bytes.substr(0, 2) == "\xFF\xFE") return ListEncoding::kUtf16Le;
  if (first_bytes.substr(0, 2) == "\xFE\xFF") return ListEncoding::kUtf16Be;
  return ListEncoding::kBytes;
}

LineStamper::LineStamper(const std::string& stamp_line, ListEncoding encoding)
    : encoding_(encoding),
      mark_left_(encoding == ListEncoding::kUtf8 ? 3
                 : IsUtf16(encoding)             ? 2
                                                 : 0),
      bytes_(std::make_unique<LineRules<char>>(stamp_line)),
      units_(
          std::make_unique<LineRules<char16_t>>(stamp_line, encoding == ListEncoding::kUtf16Be)) {}

LineStamper::~LineStamper() = default;

void LineStamper::Feed(std::string_view piece, LineSink& out) {
  const size_t mark = std::min(mark_left_, piece.size());
  out.Append(piece.substr(0, mark));
  piece.remove_prefix(mark);
  mark_left_ -= mark;
  if (!IsUtf16(encoding_)) {
    bytes_->Feed(piece, out);
    return;
  }
  // A unit's two bytes may lie in two pieces: the first waits in undecoded_.
  const size_t high = encoding_ == ListEncoding::kUtf16Be ? 0 : 1;  // the high byte's place
  undecoded_.append(piece);
  decoded_.clear();
  size_t at = 0;
  for (; at + 1 < undecoded_.size(); at += 2)
    decoded_ += char16_t(static_cast<unsigned char>(undecoded_[at + high]) << 8 |
                         static_cast<unsigned char>(undecoded_[at + 1 - high]));
  undecoded_.erase(0, at);
  units_->Feed(decoded_, out);
}

void LineStamper::Finish(LineSink& out) {
  if (IsUtf16(encoding_))
    units_->Finish(out);
  else
    bytes_->Finish(out);
  out.Append(undecoded_);  // a UTF-16 list's odd last byte, which belongs to no line
}
