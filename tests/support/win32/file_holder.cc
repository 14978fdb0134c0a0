#include "support/win32/file_holder.h"

#include <stdexcept>

FileHolder::FileHolder(const std::string& path, const std::string& share, DWORD hold_ms) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out_write;
  std::string command_line = "\"" HOLD_FILE_EXE "\" \"" + path + "\" " + share + " " +
                             (hold_ms == INFINITE  ? "forever"
                              : hold_ms == kPulses ? "pulses"
                                                   : std::to_string(hold_ms));
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(HOLD_FILE_EXE, command_line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(out_read);
    throw std::runtime_error("cannot start " HOLD_FILE_EXE);
  }
  CloseHandle(process.hThread);
  process_ = process.hProcess;
  // "held" once it holds the file; the pipe's end when it could not.
  std::string said;
  char buffer[16];
  DWORD count = 0;
  while (said.size() < 5 && ReadFile(out_read, buffer, sizeof buffer, &count, nullptr) && count)
    said.append(buffer, count);
  CloseHandle(out_read);
  if (said != "held\n") {
    TerminateProcess(process_, 0);
    CloseHandle(process_);
    throw std::runtime_error("hold_file could not open " + path);
  }
}

FileHolder::~FileHolder() {
  if (!process_) return;
  TerminateProcess(process_, 0);
  WaitForSingleObject(process_, INFINITE);
  CloseHandle(process_);
  process_ = nullptr;
}
