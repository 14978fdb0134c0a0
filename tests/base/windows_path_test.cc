#include "base/windows_path.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(WindowsPath, TellsRootsDirectoriesAndNames) {
  struct Case {
    const char* path;
    size_t root;
    const char* directory;
    const char* parent;
  };
  const Case cases[] = {
      {"C:\\Software.txt", 3, "C:\\", "C:\\"},
      {"C:\\dir\\list.txt", 3, "C:\\dir\\", "C:\\dir"},
      {"C:list.txt", 2, "C:", "C:"},
      {"\\list.txt", 1, "\\", "\\"},
      {"/usr/bin/tavrin", 1, "/usr/bin/", "/usr/bin"},
      {"/tavrin", 1, "/", "/"},
      {"list.txt", 0, "", ""},
      {".\\list.txt", 0, ".\\", "."},
      {"\\\\server\\share\\list.txt", 15, "\\\\server\\share\\", "\\\\server\\share"},
      {"\\\\127.0.0.1\\share", 17, "\\\\127.0.0.1\\", "\\\\127.0.0.1"},
      {"\\\\?\\C:\\dir\\list.txt", 7, "\\\\?\\C:\\dir\\", "\\\\?\\C:\\dir"},
      {"\\\\?\\UNC\\fs\\share\\x.txt", 17, "\\\\?\\UNC\\fs\\share\\", "\\\\?\\UNC\\fs\\share"},
      {"\\\\.\\Z:\\list.txt", 7, "\\\\.\\Z:\\", "\\\\.\\Z:"},
      {"\\\\.\\COM1", 8, "\\\\.\\", "\\\\."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(RootLength(c.path), c.root);
    EXPECT_EQ(DirectoryPart(c.path), c.directory);
    EXPECT_EQ(ParentDirectory(c.path), c.parent);
    EXPECT_EQ(std::string(DirectoryPart(c.path)) + std::string(FinalComponent(c.path)), c.path);
  }
  // In code page 932 the second byte of "ソ" (83 5C) is that of "\".
  LeadBytes shift_jis;
  for (int byte = 0x81; byte <= 0x9F; ++byte) shift_jis.set(static_cast<size_t>(byte));
  EXPECT_EQ(DirectoryPart("C:\\\x83\x5C\\tavrin.exe", shift_jis), "C:\\\x83\x5C\\");
  EXPECT_EQ(FinalComponent("C:\\dir\\\x83\x5C", shift_jis), "\x83\x5C");
  EXPECT_EQ(FinalComponent("C:\\dir\\\x83\x5C"), "");
}

}  // namespace
}  // namespace base
