#ifndef TAVRIN_TESTS_SUPPORT_WIN32_FILE_HOLDER_H_
#define TAVRIN_TESTS_SUPPORT_WIN32_FILE_HOLDER_H_

#include <windows.h>

#include <string>

// Another process that holds a file open for reading, as a virus scanner, an
// indexer or an editor does: with `share` "none" nobody else may open it,
// with "read" others may read it but neither write, rename nor delete it.
// The constructor returns once the file is held; the holder lets go after
// `hold_ms` milliseconds, or when it is destroyed. With kPulses it takes the
// file again and again for 1 ms, 1 ms apart, until it is destroyed.
class FileHolder {
 public:
  static constexpr DWORD kPulses = INFINITE - 1;

  FileHolder(const std::string& path, const std::string& share, DWORD hold_ms = INFINITE);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

 private:
  HANDLE process_ = nullptr;
};

#endif  // TAVRIN_TESTS_SUPPORT_WIN32_FILE_HOLDER_H_
