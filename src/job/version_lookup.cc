#include "job/version_lookup.h"

#include "platform/profile.h"

namespace {

// The lookup's buffer, as the installer's own reader has it: a value longer
// than 254 characters is cut.
constexpr size_t kValueBufferSize = 255;

constexpr char kVersionPrefix[] = "Velmo Service Pack ";
constexpr size_t kVersionPrefixLength = sizeof(kVersionPrefix) - 1;

}  // namespace

std::string LookUpVersionText(const std::string& program_directory) {
  const std::string text = platform::LookUpProfileString(
      "Intern", "Text1", program_directory + "\\InstallSp.ini", kValueBufferSize);
  if (text.empty()) return "0.0";
  // Counting from 1, with 0 for "not found", the version starts at the
  // prefix's position plus its length. Without the prefix that is position
  // 19, index 18 (one less than the prefix's length): the text from its 19th
  // character on.
  const size_t prefix = text.find(kVersionPrefix);
  const size_t start =
      prefix == std::string::npos ? kVersionPrefixLength - 1 : prefix + kVersionPrefixLength;
  return start < text.size() ? text.substr(start) : "";
}
