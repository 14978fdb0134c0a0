#include <windows.h>

#include <stdexcept>
#include <vector>

#include "support/run_program.h"

namespace {

// Variables that Windows programs need to start, taken from this process.
const char* const kSystemVariables[] = {"SystemRoot", "windir", "PATH", "TEMP", "TMP"};

std::string EnvironmentBlock(const ProgramOptions& options) {
  std::string block;
  for (const char* name : kSystemVariables) {
    char value[32768];
    const DWORD count = GetEnvironmentVariableA(name, value, sizeof value);
    if (count > 0 && count < sizeof value) block += std::string(name) + "=" + value + '\0';
  }
  for (const auto& [name, value] : options.environment) block += name + "=" + value + '\0';
  return block + '\0';
}

std::string DrainPipe(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0)
    text.append(buffer, count);
  CloseHandle(pipe);
  return text;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const ProgramOptions& options) {
  if (options.kill_after_us || options.file_size_limit)
    throw std::runtime_error("not available on Windows");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0) ||
      !CreatePipe(&err_read, &err_write, &inherit, 0))
    throw std::runtime_error("CreatePipe");
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  std::string command_line = "\"" + program + "\"";
  std::string environment = EnvironmentBlock(options);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(
      program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, environment.data(),
      options.working_directory.empty() ? nullptr : options.working_directory.c_str(), &startup,
      &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    throw std::runtime_error("CreateProcess " + program);
  }
  ProgramRun run;
  run.output = DrainPipe(out_read);
  run.errors = DrainPipe(err_read);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  run.exit_code = static_cast<int>(exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}
