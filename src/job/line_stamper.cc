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

void LineStamper::Feed(std::string_view piece, std::string* out) {
  size_t at = 0;
  if (after_cr_ && !piece.empty()) {
    after_cr_ = false;
    if (piece.front() == '\n') at = 1;
  }
  if (!partial_line_.empty()) {
    const size_t cr = piece.find('\r', at);
    if (cr == std::string_view::npos) {
      partial_line_.append(piece.substr(at));
      return;
    }
    partial_line_.append(piece.substr(at, cr - at));
    EmitLine(partial_line_, out);
    partial_line_.clear();
    at = PassLineEndNotingFinalCr(piece, cr);
  }
  while (at < piece.size()) {
    // The whole lines before the next marked one hold no marker: they are
    // copied in bulk, which is what keeps large lists fast.
    const size_t marker = piece.find(kServicePackMarker, at);
    const size_t stop = marker == std::string_view::npos ? piece.size() : marker;
    const size_t last_cr = stop > at ? piece.rfind('\r', stop - 1) : std::string_view::npos;
    if (last_cr != std::string_view::npos && last_cr >= at) {
      CopyLines(piece.substr(at, last_cr - at), out);
      out->append(kLineEnd);
      at = PassLineEndNotingFinalCr(piece, last_cr);
    }
    // `at` starts the marked line, or the last line, which the piece may not finish.
    const size_t cr = piece.find('\r', at);
    if (cr == std::string_view::npos) {
      partial_line_.assign(piece.substr(at));
      return;
    }
    EmitLine(piece.substr(at, cr - at), out);
    at = PassLineEndNotingFinalCr(piece, cr);
  }
}

void LineStamper::Finish(std::string* out) {
  if (!partial_line_.empty()) {
    EmitLine(partial_line_, out);
    partial_line_.clear();
  }
  if (!stamped_) EmitLine(stamp_line_, out);
}

void LineStamper::CopyLines(std::string_view lines, std::string* out) {
  if (!HasLoneCr(lines)) {
    out->append(lines);
    return;
  }
  size_t from = 0;
  for (size_t cr = lines.find('\r'); cr != std::string_view::npos; cr = lines.find('\r', cr + 1)) {
    if (cr + 1 < lines.size() && lines[cr + 1] == '\n') continue;
    out->append(lines.substr(from, cr + 1 - from));  // a lone CR gains its LF
    out->push_back('\n');
    from = cr + 1;
  }
  out->append(lines.substr(from));
}

size_t LineStamper::PassLineEndNotingFinalCr(std::string_view piece, size_t cr) {
  if (cr + 1 == piece.size()) {
    after_cr_ = true;
    return cr + 1;
  }
  return piece[cr + 1] == '\n' ? cr + 2 : cr + 1;
}

void LineStamper::EmitLine(std::string_view line, std::string* out) {
  if (line.find(kServicePackMarker) != std::string_view::npos) {
    if (stamped_) return;
    stamped_ = true;
    line = stamp_line_;
  }
  out->append(line);
  out->append(kLineEnd);
}
