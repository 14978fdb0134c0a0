#include "platform/posix/native_path.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(NativePath, MapsDrivesToMountPointsAndBackslashesToSlashes) {
  EXPECT_EQ(NativePath("C:\\Software.txt"), "/mnt/c/Software.txt");
  EXPECT_EQ(NativePath("d:\\Lists\\a b\\x.txt"), "/mnt/d/Lists/a b/x.txt");
  EXPECT_EQ(NativePath("Z:/mixed\\seps"), "/mnt/z/mixed/seps");
  EXPECT_EQ(NativePath("C:"), "/mnt/c");
  EXPECT_EQ(NativePath("C:list.txt"), "/mnt/c/list.txt");
}

TEST(NativePath, LeavesOtherPathsAsTheyAreButForBackslashes) {
  EXPECT_EQ(NativePath("/tmp/list.txt"), "/tmp/list.txt");
  EXPECT_EQ(NativePath("list.txt"), "list.txt");
  EXPECT_EQ(NativePath(".\\list.txt"), "./list.txt");
  EXPECT_EQ(NativePath("/work/build\\InstallSp.ini"), "/work/build/InstallSp.ini");
  EXPECT_EQ(NativePath("\\\\server\\share\\x"), "//server/share/x");
  EXPECT_EQ(NativePath("1:\\x"), "1:/x");  // not a drive letter
  EXPECT_EQ(NativePath("ab:\\x"), "ab:/x");
  EXPECT_EQ(NativePath(""), "");
}

}  // namespace
}  // namespace platform
