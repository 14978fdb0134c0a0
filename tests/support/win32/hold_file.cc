// hold_file PATH SHARE MILLISECONDS: opens the file at PATH for reading with
// the sharing SHARE ("none", "read", "read-write", "all"), writes "held" and a line
// break to its standard output once it holds the file, and lets go after
// MILLISECONDS ("forever": never; the test ends it; "pulses": then takes it
// again and again for 1 ms, 1 ms apart, as a virus scanner does with a file
// just written). Exit status 2 when the file cannot be opened. It stands in for the programs that
// hold files on a PC: virus scanners, indexers, editors, readers.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  DWORD share = 0;
  if (std::strcmp(argv[2], "read") == 0) share = FILE_SHARE_READ;
  if (std::strcmp(argv[2], "read-write") == 0) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (std::strcmp(argv[2], "all") == 0)
    share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const auto open = [&] {
    return CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  };
  HANDLE file = open();
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
  if (std::strcmp(argv[3], "pulses") == 0) {
    for (;; file = open()) {
      Sleep(1);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      Sleep(1);
    }
  }
  Sleep(std::strcmp(argv[3], "forever") == 0 ? INFINITE : static_cast<DWORD>(std::atol(argv[3])));
  CloseHandle(file);
  return 0;
}
