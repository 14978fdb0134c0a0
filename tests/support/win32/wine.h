#ifndef TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_
#define TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_

#include <windows.h>

#include <string>

// Whether the tests run under Wine rather than on Windows.
inline bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Wine's version ("10.0"), or "" on Windows.
inline std::string WineVersion() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const FARPROC found = ntdll ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
  if (!found) return "";
  // Through void (*)(), the type that converts to any function type.
  using GetVersion = const char*(__cdecl*)();
  return reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(found))();
}

#endif  // TAVRIN_TESTS_SUPPORT_WIN32_WINE_H_
