#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "support/run_program.h"

namespace {

std::string DrainPipe(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(count));
  close(fd);
  return text;
}

[[noreturn]] void RunChild(const std::string& program, const ProgramOptions& options, int out,
                           int err) {
  dup2(out, 1);
  dup2(err, 2);
  if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0)
    _exit(126);
  if (options.file_size_limit) {
    const rlimit limit{rlim_t(*options.file_size_limit), rlim_t(*options.file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.user_id && (setgid(*options.user_id) != 0 || setuid(*options.user_id) != 0))
    _exit(126);
  std::vector<std::string> entries{"PATH=/usr/bin:/bin"};
  for (const auto& [name, value] : options.environment) entries.push_back(name + "=" + value);
  std::vector<char*> environment;
  for (auto& entry : entries) environment.push_back(entry.data());
  environment.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : options.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execve(program.c_str(), argv.data(), environment.data());
  _exit(127);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const ProgramOptions& options) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) RunChild(program, options, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  if (options.kill_after_us) {
    usleep(useconds_t(*options.kill_after_us));
    kill(child, SIGKILL);
  }
  ProgramRun run;
  run.output = DrainPipe(out[0]);
  run.errors = DrainPipe(err[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.peak_memory_kb = usage.ru_maxrss;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
