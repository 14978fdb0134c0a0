#include "platform/file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/run_error.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

TEST(Files, OrdinaryFilesOfEveryAttributeExistButDirectoriesDoNot) {
  ScratchDir scratch;
  for (DWORD attributes : {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                           FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}) {
    const std::string file = scratch / ("file" + std::to_string(attributes));
    WriteBytes(file, "x");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), attributes));
    EXPECT_TRUE(FileExists(file)) << attributes;
  }
  fs::create_directory(scratch.path() / "dir");
  EXPECT_FALSE(FileExists(scratch / "dir"));
  EXPECT_FALSE(FileExists(scratch / "missing"));
  EXPECT_FALSE(FileExists(scratch / "file*"));  // no wildcard matching
}

TEST(Files, ReadOnlyAndNormalReplaceEveryOtherAttribute) {
  ScratchDir scratch;
  const std::string file = scratch / "file";
  WriteBytes(file, "x");
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  SetReadOnlyAttributes(file);
  EXPECT_EQ(GetFileAttributesA(file.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
            DWORD{FILE_ATTRIBUTE_READONLY});
  SetNormalAttributes(file);
  EXPECT_EQ(GetFileAttributesA(file.c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            0u);
  EXPECT_THROW(SetNormalAttributes(scratch / "missing"), base::RunError);
}

TEST(Files, ErrorsNameTheOperationThePathAndTheReason) {
  ScratchDir scratch;
  const std::string missing = scratch / "missing";
  try {
    RemoveFile(missing);
    FAIL();
  } catch (const base::RunError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind("cannot delete '" + missing + "': ", 0), 0u) << message;
    EXPECT_NE(message.find("(error 2)"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace platform
