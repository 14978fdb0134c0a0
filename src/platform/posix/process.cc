#include "platform/process.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

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
  // A path that fills the buffer may have been cut: then a larger one.
  for (std::string path(4096, '\0');; path.resize(path.size() * 2)) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0)
      throw MakeSystemError("cannot find the program's own file", "/proc/self/exe",
                            static_cast<SystemCode>(errno));
    if (static_cast<size_t>(length) < path.size())
      return path.substr(0, static_cast<size_t>(length));
  }
}

base::LeadBytes AnsiLeadBytes() { return {}; }

std::string NarrowToAnsi(std::u16string_view text) { return base::NarrowToLatin1(text); }

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

bool ProcessIsRunning(unsigned long process_id) {
  const pid_t pid = static_cast<pid_t>(process_id);
  return pid > 0 && static_cast<unsigned long>(pid) == process_id &&
         (kill(pid, 0) == 0 || errno != ESRCH);
}

}  // namespace platform
