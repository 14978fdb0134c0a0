#include "job/backup_name.h"

#include <gtest/gtest.h>

namespace {

TEST(BackupName, TakesTheBackupPathBeforeTheFirstDotAndKnowsWhenThatCutsTheRoot) {
  EXPECT_EQ(BackupPathFor("C:\\Software.txt"), "C:\\Software.bak");
  EXPECT_EQ(BackupPathFor("C:\\Software.list.txt"), "C:\\Software.bak");
  EXPECT_EQ(BackupPathFor("C:\\Software"), "C:\\Software.bak");
  EXPECT_EQ(BackupPathFor(".\\list.txt"), ".\\list.txt.bak");
  EXPECT_EQ(BackupPathFor("C:\\dir.d\\list.txt"), "C:\\dir.bak");
  EXPECT_EQ(BackupPathFor(""), ".bak");
  for (const char* cut : {"\\\\127.0.0.1\\share\\Software.txt", "\\\\fs.corp.example\\s\\l.txt",
                          "\\\\server\\sh.are\\list.txt", "\\\\.\\Z:\\Software.txt",
                          "\\\\?\\UNC\\10.0.0.1\\share\\list.txt"})
    EXPECT_TRUE(BackupPathCutsRoot(cut)) << cut;
  for (const char* kept : {"C:\\Software.txt", "\\\\server\\share\\Software.txt", ".\\list.txt",
                           "\\\\?\\C:\\list.txt", "list", "C:\\dir.d\\list.txt"})
    EXPECT_FALSE(BackupPathCutsRoot(kept)) << kept;
}

}  // namespace
