#ifndef TAVRIN_PLATFORM_WIN32_FAULTS_H_
#define TAVRIN_PLATFORM_WIN32_FAULTS_H_

#include <windows.h>

// Failures of system calls made on purpose, for tests of what the program
// does when the system refuses something that it cannot be made to refuse
// from outside. The program links an implementation that never injects
// (no_faults.cc); only test builds link one that does.
namespace platform {

// The error that `operation` is to fail with instead of asking the system;
// 0: ask the system.
DWORD InjectedFault(const char* operation);

}  // namespace platform

#endif  // TAVRIN_PLATFORM_WIN32_FAULTS_H_
