#include "platform/process.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/profile_syntax.h"
#include "platform/system_error.h"

namespace platform {

void PrepareUnattendedRun() {
  // A write past `ulimit -f` then fails with EFBIG, and one to a closed
  // stderr with EPIPE, instead of killing the process without a word.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

void ReportFailure(const std::string& message) {
  std::fprintf(stderr, "tavrin: %s\n", message.c_str());
}

std::string LookUpEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0)
      throw MakeSystemError("cannot find the program's own file", "/proc/self/exe",
                            static_cast<SystemCode>(errno));
    if (static_cast<size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

base::LeadBytes AnsiLeadBytes() { return {}; }

std::string NarrowToAnsi(std::u16string_view text) { return base::NarrowToLatin1(text); }

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

bool ProcessIsRunning(unsigned long process_id) {
  const pid_t pid = static_cast<pid_t>(process_id);
  if (pid <= 0 || static_cast<unsigned long>(pid) != process_id) return false;
  return kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace platform
