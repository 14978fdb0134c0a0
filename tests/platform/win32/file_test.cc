#include "platform/file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/run_error.h"
#include "support/scratch.h"
#include "support/win32/file_holder.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

TEST(Files, TellOrdinaryFilesOfEveryAttributeFromDirectoriesDevicesAndNothing) {
  ScratchDir scratch;
  for (DWORD attributes : {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                           FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}) {
    const std::string file = scratch / ("file" + std::to_string(attributes));
    WriteBytes(file, "x");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), attributes));
    EXPECT_EQ(LookAt(file).kind, PathKind::kFile) << attributes;
  }
  // Looking at a file needs no sharing: one held exclusively is a file too.
  const FileHolder holder(scratch / "file128", "none");
  EXPECT_EQ(LookAt(scratch / "file128").kind, PathKind::kFile);
  fs::create_directory(scratch.path() / "dir");
  EXPECT_EQ(LookAt(scratch / "dir").kind, PathKind::kDirectory);
  for (const std::string& nothing : {scratch / "missing", scratch / "missing\\file",
                                     scratch / "file128\\file", scratch / "file*"})
    EXPECT_EQ(LookAt(nothing).kind, PathKind::kNothing) << nothing;
  // A device name, also in any directory.
  for (const std::string& device : {std::string("NUL"), scratch / "NUL"})
    EXPECT_EQ(LookAt(device).kind, PathKind::kOther) << device;
}

TEST(Files, IdentityIsTheFileHoweverItIsSpelledAndItsNamesAreTold) {
  ScratchDir scratch;
  const std::string list = scratch / "List.bak";
  WriteBytes(list, "x");
  WriteBytes(scratch / "other", "x");
  const auto identity = IdentityOf(list);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->names, 1u);
  // Win32 path normalisation drops a name's trailing dots and blanks.
  const std::string dir_name = scratch.path().filename().string();
  for (const std::string& alias : {list + ".", list + " ", list + ". .", scratch / "LIST.BAK",
                                   scratch / ("..\\" + dir_name + "\\List.bak")}) {
    EXPECT_EQ(IdentityOf(alias), identity) << alias;
    EXPECT_TRUE(SameEntry(list, alias)) << alias;
  }
  // A second name is the same file but another entry.
  ASSERT_TRUE(CreateHardLinkA((scratch / "link").c_str(), list.c_str(), nullptr));
  EXPECT_EQ(IdentityOf(scratch / "link"), identity);
  EXPECT_EQ(IdentityOf(list)->names, 2u);
  EXPECT_FALSE(SameEntry(list, scratch / "link"));
  EXPECT_NE(IdentityOf(scratch / "other"), identity);
  EXPECT_FALSE(SameEntry(list, scratch / "other"));
  EXPECT_FALSE(IdentityOf(scratch / "missing"));
  EXPECT_FALSE(IdentityOf("NUL"));
}

TEST(Files, TruncateAtCutsTheFileAndWritingGoesOnThere) {
  ScratchDir scratch;
  NewFile created = File::TryCreate(scratch / "file");
  ASSERT_EQ(created.code, 0u);
  File& file = created.file;
  file.WriteAll("abcdef", 6);
  file.TruncateAt(2);
  file.WriteAll("XY", 2);
  file.Close();
  EXPECT_EQ(ReadBytes(scratch / "file"), "abXY");
}

TEST(Files, ReadOnlyAndNormalReplaceEveryOtherAttribute) {
  ScratchDir scratch;
  const std::string file = scratch / "file";
  WriteBytes(file, "x");
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  SetReadOnly(file, true);
  EXPECT_EQ(GetFileAttributesA(file.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
            DWORD{FILE_ATTRIBUTE_READONLY});
  SetReadOnly(file, false);
  EXPECT_EQ(GetFileAttributesA(file.c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            0u);
  EXPECT_THROW(SetReadOnly(scratch / "missing", false), base::RunError);
}

TEST(Files, ErrorsNameTheOperationThePathAndTheReason) {
  ScratchDir scratch;
  const std::string missing = scratch / "missing";
  try {
    SetReadOnly(missing, false);
    FAIL();
  } catch (const base::RunError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind("cannot set the attributes of '" + missing + "': ", 0), 0u) << message;
    EXPECT_NE(message.find("(error 2)"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace platform
