#include "platform/file.h"

namespace platform {

// The new file has the old one's owner, group and mode before it takes its
// place: nothing is left to carry.
struct AccessControl::Carried {};

AccessControl AccessControl::Of(const File&, const FileFacts&) { return AccessControl(nullptr); }

bool AccessControl::CarryTo(const std::string&, const std::string&) const noexcept { return false; }

}  // namespace platform
