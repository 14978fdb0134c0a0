#include "job/line_stamper.h"

#include <algorithm>

namespace {

// Whether a CR in `lines` is followed by anything but LF (or by nothing). One
// pass without branches, which the compiler turns into vector code: lists
// with CR LF line ends are then copied whole instead of line by line.
template <typename Unit>
bool HasLoneCr(std::basic_string_view<Unit> lines) {
  if (lines.empty()) return false;
  const Unit* text = lines.data();
  const size_t last = lines.size() - 1;
  unsigned lone = 0;
  for (size_t i = 0; i < last; ++i)
    lone |= unsigned(text[i] == '\r') & unsigned(text[i + 1] != '\n');
  return lone != 0 || text[last] == '\r';
}

// The new list's UTF-16 units, written to its bytes in the list's byte
// order. The new list starts empty and its mark takes two bytes, so every
// unit lies at an even byte offset: a unit count is half the byte count.
class Utf16Sink : public UnitSink<char16_t> {
 public:
  Utf16Sink(LineSink& bytes, bool big_endian) : bytes_(bytes), big_endian_(big_endian) {}

  void Append(std::u16string_view units) override {
    encoded_.resize(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
      const char high = char(units[i] >> 8);
      const char low = char(units[i] & 0xFF);
      encoded_[2 * i] = big_endian_ ? high : low;
      encoded_[2 * i + 1] = big_endian_ ? low : high;
    }
    bytes_.Append(encoded_);
  }
  void CutTo(uint64_t size) override { bytes_.CutTo(size * 2); }
  uint64_t Size() const override { return bytes_.Size() / 2; }

 private:
  LineSink& bytes_;
  const bool big_endian_;
  std::string encoded_;
};

}  // namespace

std::string StampLine(const std::string& version_text) {
  return std::string(kServicePackMarker) + "                   (Version: " + version_text + ")";
}

ListEncoding EncodingOf(std::string_view first_bytes) {
  if (first_bytes.substr(0, 3) == "\xEF\xBB\xBF") return ListEncoding::kUtf8;
  if (first_bytes.substr(0, 2) == "\xFF\xFE") return ListEncoding::kUtf16Le;
  if (first_bytes.substr(0, 2) == "\xFE\xFF") return ListEncoding::kUtf16Be;
  return ListEncoding::kBytes;
}

template <typename Unit>
LineRules<Unit>::LineRules(std::string_view stamp_line)
    : stamp_line_(stamp_line.begin(), stamp_line.end()) {}

template <typename Unit>
void LineRules<Unit>::Feed(View piece, UnitSink<Unit>& out) {
  size_t at = 0;
  if (after_cr_ && !piece.empty()) {
    after_cr_ = false;
    if (piece.front() == '\n') at = 1;
  }
  while (at < piece.size()) {
    if (!in_line_) {
      // The whole lines before the next marked one hold no marker: they are
      // copied in bulk, which is what keeps large lists fast.
      const size_t marker = piece.find(marker_, at);
      const size_t stop = marker == View::npos ? piece.size() : marker;
      const size_t last_cr = stop > at ? piece.rfind('\r', stop - 1) : View::npos;
      if (last_cr != View::npos && last_cr >= at) {
        CopyLines(piece.substr(at, last_cr - at), out);
        out.Append(line_end_);
        at = PassLineEndNotingFinalCr(piece, last_cr);
        if (at == piece.size()) return;
      }
      // `at` starts the marked line, or the last line, which the piece may not finish.
      in_line_ = true;
      line_start_ = out.Size();
      tail_.clear();
      dropping_line_ = false;
    }
    const size_t cr = piece.find('\r', at);
    ContinueLine(piece.substr(at, cr == View::npos ? cr : cr - at), out);
    if (cr == View::npos) return;
    EndLine(out);
    at = PassLineEndNotingFinalCr(piece, cr);
  }
}

template <typename Unit>
void LineRules<Unit>::Finish(UnitSink<Unit>& out) {
  if (in_line_) EndLine(out);
  if (!stamped_) {
    out.Append(stamp_line_);
    out.Append(line_end_);
  }
}

template <typename Unit>
void LineRules<Unit>::CopyLines(View lines, UnitSink<Unit>& out) const {
  if (!HasLoneCr(lines)) {
    out.Append(lines);
    return;
  }
  size_t from = 0;
  for (size_t cr = lines.find('\r'); cr != View::npos; cr = lines.find('\r', cr + 1)) {
    if (cr + 1 < lines.size() && lines[cr + 1] == '\n') continue;
    out.Append(lines.substr(from, cr - from));  // a lone CR ends its line as CR LF
    out.Append(line_end_);
    from = cr + 1;
  }
  out.Append(lines.substr(from));
}

template <typename Unit>
void LineRules<Unit>::ContinueLine(View text, UnitSink<Unit>& out) {
  if (dropping_line_ || text.empty()) return;
  // The marker may also lie across the line's last units and `text`.
  const bool marked =
      text.find(marker_) != View::npos ||
      (tail_ + Text(text.substr(0, marker_.size() - 1))).find(marker_) != Text::npos;
  if (marked) {
    // The line is marked: what was written of it goes, and the stamp line
    // takes its place if it is the first.
    out.CutTo(line_start_);
    if (!stamped_) {
      out.Append(stamp_line_);
      out.Append(line_end_);
      stamped_ = true;
    }
    dropping_line_ = true;
    return;
  }
  out.Append(text);
  const size_t keep = marker_.size() - 1;
  tail_.append(text.substr(text.size() - std::min(text.size(), keep)));
  tail_.erase(0, tail_.size() - std::min(tail_.size(), keep));
}

template <typename Unit>
void LineRules<Unit>::EndLine(UnitSink<Unit>& out) {
  if (!dropping_line_) out.Append(line_end_);
  in_line_ = false;
}

template <typename Unit>
size_t LineRules<Unit>::PassLineEndNotingFinalCr(View piece, size_t cr) {
  if (cr + 1 == piece.size()) {
    after_cr_ = true;
    return cr + 1;
  }
  return piece[cr + 1] == '\n' ? cr + 2 : cr + 1;
}

template class LineRules<char>;
template class LineRules<char16_t>;

LineStamper::LineStamper(const std::string& stamp_line, ListEncoding encoding)
    : encoding_(encoding),
      mark_left_(encoding == ListEncoding::kUtf8 ? 3
                 : IsUtf16(encoding)             ? 2
                                                 : 0),
      bytes_(stamp_line),
      units_(stamp_line) {}

void LineStamper::Feed(std::string_view piece, LineSink& out) {
  if (mark_left_ > 0) {
    const size_t mark = std::min(mark_left_, piece.size());
    out.Append(piece.substr(0, mark));
    piece.remove_prefix(mark);
    mark_left_ -= mark;
  }
  if (IsUtf16(encoding_))
    FeedUtf16(piece, out);
  else
    bytes_.Feed(piece, out);
}

void LineStamper::Finish(LineSink& out) {
  if (!IsUtf16(encoding_)) {
    bytes_.Finish(out);
    return;
  }
  Utf16Sink units_out(out, encoding_ == ListEncoding::kUtf16Be);
  units_.Finish(units_out);
  if (half_unit_) out.Append(std::string_view(&*half_unit_, 1));
}

void LineStamper::FeedUtf16(std::string_view bytes, LineSink& out) {
  const bool big_endian = encoding_ == ListEncoding::kUtf16Be;
  const auto unit_of = [big_endian](char first, char second) {
    const unsigned a = static_cast<unsigned char>(first);
    const unsigned b = static_cast<unsigned char>(second);
    return char16_t(big_endian ? a << 8 | b : b << 8 | a);
  };
  decoded_.clear();
  size_t at = 0;
  if (half_unit_ && !bytes.empty()) {
    decoded_ += unit_of(*half_unit_, bytes[0]);
    half_unit_.reset();
    at = 1;
  }
  for (; at + 1 < bytes.size(); at += 2) decoded_ += unit_of(bytes[at], bytes[at + 1]);
  if (at < bytes.size()) half_unit_ = bytes[at];
  Utf16Sink units_out(out, big_endian);
  units_.Feed(decoded_, units_out);
}
