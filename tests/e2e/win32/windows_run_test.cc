#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "e2e/run_fixture.h"

namespace fs = std::filesystem;

namespace {

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void RemoveEvenIfReadOnly(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

TEST_F(TavrinRunTest, StampsTheDefaultListOnDriveC) {
  if (!RunningOnWine()) GTEST_SKIP() << "writes C:\\Software.txt: only in a Wine prefix";
  RemoveEvenIfReadOnly("C:\\Software.txt");
  RemoveEvenIfReadOnly("C:\\Software.bak");
  options_.environment.erase("Software_Txt");
  ExpectQuietSuccess(Run());
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes("C:\\Software.txt"), StampFor("0.0") + "\r\n");
  EXPECT_EQ(ReadBytes("C:\\Software.bak"), StampFor("0.0") + "\r\n");
  EXPECT_EQ(GetFileAttributesA("C:\\Software.txt") & FILE_ATTRIBUTE_READONLY,
            DWORD{FILE_ATTRIBUTE_READONLY});
  RemoveEvenIfReadOnly("C:\\Software.txt");
  RemoveEvenIfReadOnly("C:\\Software.bak");
}

TEST_F(TavrinRunTest, WorksOnTheUnixDriveZ) {
  if (!RunningOnWine()) GTEST_SKIP() << "drive Z: is Wine's view of the Unix root";
  const std::string dir = "Z:\\tmp\\tavrin-z-" + std::to_string(GetCurrentProcessId());
  fs::create_directory(dir);
  const std::string list = dir + "\\Software.txt";
  WriteBytes(list, "one\r\nService Pack 1\r\n");
  options_.environment["Software_Txt"] = list;
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list), "one\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_EQ(ReadBytes(dir + "\\Software.bak"), "one\r\nService Pack 1\r\n");
  RemoveEvenIfReadOnly(list);
  fs::remove_all(dir);
}

TEST_F(TavrinRunTest, BacksUpHiddenAndSystemListsInsteadOfOverwritingThem) {
  WriteBytes(list_, "hidden\r\n");
  ASSERT_TRUE(SetFileAttributesA(list_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list_), "hidden\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_EQ(ReadBytes(backup_), "hidden\r\n");
  EXPECT_EQ(GetFileAttributesA(list_.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
            DWORD{FILE_ATTRIBUTE_READONLY});
}

TEST(WindowsProgram, IsAGuiProgramWithAVersionResource) {
  std::ifstream exe(TAVRIN_EXE, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(exe)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 0x200u);
  uint32_t pe_offset = 0;
  image.copy(reinterpret_cast<char*>(&pe_offset), 4, 0x3C);
  // Signature (4 bytes), file header (20), then Subsystem at 68 in the optional header.
  uint16_t subsystem = 0;
  image.copy(reinterpret_cast<char*>(&subsystem), 2, pe_offset + 4 + 20 + 68);
  EXPECT_EQ(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_NE(image.find("asInvoker"), std::string::npos);
  const std::string description = "FileDescription";
  std::string wide;
  for (char c : description) wide += std::string{c, '\0'};
  EXPECT_NE(image.find(wide), std::string::npos);
}

}  // namespace
