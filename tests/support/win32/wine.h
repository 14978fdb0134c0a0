#ifndef TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_
#define TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_

#include <windows.h>

// Whether the tests run under Wine rather than on Windows.
inline bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

#endif  // TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_
