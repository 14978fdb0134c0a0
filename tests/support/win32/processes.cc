#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <tlhelp32.h>

#include <stdexcept>

#include "support/processes.h"

unsigned long AnotherLiveProcessId() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID != 0 && entry.th32ProcessID != GetCurrentProcessId()) {
      CloseHandle(snapshot);
      return entry.th32ProcessID;
    }
  }
  CloseHandle(snapshot);
  throw std::runtime_error("no other process");
}
