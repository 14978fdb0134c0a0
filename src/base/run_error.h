#ifndef TAVRIN_BASE_RUN_ERROR_H_
#define TAVRIN_BASE_RUN_ERROR_H_

#include <stdexcept>
#include <string>

namespace base {

// The one error that ends a run: what failed, the path or name it failed on,
// and the reason (the operating system's words where it gave one).
// what() is a single line: "<action> '<subject>': <reason>".
class RunError : public std::runtime_error {
 public:
  RunError(const std::string& action, const std::string& subject, const std::string& reason)
      : std::runtime_error(Compose(action, subject, reason)) {}

 private:
  static std::string Compose(const std::string& action, const std::string& subject,
                             const std::string& reason) {
    std::string line = action;
    if (!subject.empty()) line += " '" + subject + "'";
    if (!reason.empty()) line += ": " + reason;
    // A path may hold line ends; the line shows them as \r and \n.
    std::string one_line;
    for (char c : line) one_line += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return one_line;
  }
};

}  // namespace base

#endif  // TAVRIN_BASE_RUN_ERROR_H_
