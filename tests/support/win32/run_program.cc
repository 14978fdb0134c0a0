#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

// Variables that Windows programs need to start, taken from this process.
const wchar_t* const kSystemVariables[] = {L"SystemRoot", L"windir", L"PATH", L"TEMP", L"TMP"};

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                              wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// In UTF-16, so that a value may hold any character; the program's ANSI
// lookup sees the others as CreateProcessA would pass them.
std::wstring EnvironmentBlock(const ProgramOptions& options) {
  std::wstring block;
  for (const wchar_t* name : kSystemVariables) {
    wchar_t value[32768];
    const DWORD count = GetEnvironmentVariableW(name, value, 32768);
    if (count > 0 && count < 32768) block += std::wstring(name) + L"=" + value + L'\0';
  }
  for (const auto& [name, value] : options.environment)
    block += Widen(name) + L"=" + Widen(value) + L'\0';
  for (const auto& [name, value] : options.wide_environment)
    block += Widen(name) + L"=" + value + L'\0';
  return block + L'\0';
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
  std::wstring environment = EnvironmentBlock(options);
  PROCESS_INFORMATION process{};
  BOOL started = FALSE;
  DWORD error = 0;
  // Wine now and then fails to start a program, with "internal error", when
  // hundreds are started one after another, some of them ending themselves.
  for (int attempt = 0; attempt < 5; ++attempt) {
    started = CreateProcessA(
        program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
        environment.data(),
        options.working_directory.empty() ? nullptr : options.working_directory.c_str(), &startup,
        &process);
    error = started ? 0 : GetLastError();
    if (error != ERROR_INTERNAL_ERROR) break;
    Sleep(100);
  }
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    throw std::runtime_error("CreateProcess " + program + ": error " + std::to_string(error));
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
