#include "job/line_stamper.h"

#include <utility>

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Whether a CR in `lines` is followed by anything but LF (or by nothing). One
// pass without branches, which the compiler turns into vector code: lists
// with CR LF line ends are then copied whole instead of line by line.
bool HasLoneCr(std::string_view lines) {
  if (lines.empty()) return false;
  const char* text = lines.data();
  const size_t last = lines.size() - 1;
  unsigned lone = 0;
  for (size_t i = 0; i < last; ++i)
    lone |= unsigned(text[i] == '\r') & unsigned(text[i + 1] != '\n');
  return lone != 0 || text[last] == '\r';
}

}  // namespace

std::string StampLine(const std::string& version_text) {
  return "Service Pack                   (Version: " + version_text + ")";
}

LineStamper::LineStamper(std::string stamp_line) : stamp_line_(std::move(stamp_line)) {}

void LineStamper::Feed(std::string_view piece, LineSink& out) {
  size_t at = 0;
  if (after_cr_ && !piece.empty()) {
    after_cr_ = false;
    if (piece.front() == '\n') at = 1;
  }
  while (at < piece.size()) {
    if (!in_line_) {
      // The whole lines before the next marked one hold no marker: they are
      // copied in bulk, which is what keeps large lists fast.
      const size_t marker = piece.find(kServicePackMarker, at);
      const size_t stop = marker == std::string_view::npos ? piece.size() : marker;
      const size_t last_cr = stop > at ? piece.rfind('\r', stop - 1) : std::string_view::npos;
      if (last_cr != std::string_view::npos && last_cr >= at) {
        CopyLines(piece.substr(at, last_cr - at), out);
        out.Append(kLineEnd);
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
    ContinueLine(piece.substr(at, cr == std::string_view::npos ? cr : cr - at), out);
    if (cr == std::string_view::npos) return;
    EndLine(out);
    at = PassLineEndNotingFinalCr(piece, cr);
  }
}

void LineStamper::Finish(LineSink& out) {
  if (in_line_) EndLine(out);
  if (!stamped_) {
    out.Append(stamp_line_);
    out.Append(kLineEnd);
  }
}

void LineStamper::CopyLines(std::string_view lines, LineSink& out) {
  if (!HasLoneCr(lines)) {
    out.Append(lines);
    return;
  }
  size_t from = 0;
  for (size_t cr = lines.find('\r'); cr != std::string_view::npos; cr = lines.find('\r', cr + 1)) {
    if (cr + 1 < lines.size() && lines[cr + 1] == '\n') continue;
    out.Append(lines.substr(from, cr + 1 - from));  // a lone CR gains its LF
    out.Append("\n");
    from = cr + 1;
  }
  out.Append(lines.substr(from));
}

void LineStamper::ContinueLine(std::string_view text, LineSink& out) {
  if (dropping_line_ || text.empty()) return;
  if (MarkerAcross(text)) {
    // The line is marked: what was written of it goes, and the stamp line
    // takes its place if it is the first.
    out.CutTo(line_start_);
    if (!stamped_) {
      out.Append(stamp_line_);
      out.Append(kLineEnd);
      stamped_ = true;
    }
    dropping_line_ = true;
    return;
  }
  out.Append(text);
  const size_t keep = kServicePackMarker.size() - 1;
  if (text.size() >= keep) {
    tail_.assign(text.substr(text.size() - keep));
  } else {
    tail_.append(text);
    if (tail_.size() > keep) tail_.erase(0, tail_.size() - keep);
  }
}

bool LineStamper::MarkerAcross(std::string_view text) const {
  if (text.find(kServicePackMarker) != std::string_view::npos) return true;
  if (tail_.empty()) return false;
  const std::string joined = tail_ + std::string(text.substr(0, kServicePackMarker.size() - 1));
  return joined.find(kServicePackMarker) != std::string::npos;
}

void LineStamper::EndLine(LineSink& out) {
  if (!dropping_line_) out.Append(kLineEnd);
  in_line_ = false;
}

size_t LineStamper::PassLineEndNotingFinalCr(std::string_view piece, size_t cr) {
  if (cr + 1 == piece.size()) {
    after_cr_ = true;
    return cr + 1;
  }
  return piece[cr + 1] == '\n' ? cr + 2 : cr + 1;
}
