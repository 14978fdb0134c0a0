#include "job/software_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/run_error.h"
#include "platform/file.h"
#include "platform/temp_file.h"
#include "support/scratch.h"
#include "support/stamp_model.h"

namespace fs = std::filesystem;

namespace {

const std::string kStamp = StampFor("2.1") + "\r\n";

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

class StampingTest : public testing::Test {
 protected:
  StampingTest() : list_(scratch_ / "Software.txt"), backup_(scratch_ / "Software.bak") {
    PresetLocations(table_);
    UseList(list_);
  }

  void UseList(const std::string& path) { table_.Row(kSoftwareListRow).value = path; }

  void Stamp(const std::string& version = "2.1") { StampSoftwareList(table_, version); }

  std::string StampError() {
    try {
      Stamp();
    } catch (const base::RunError& error) {
      return error.what();
    }
    return "no error";
  }

  // The names in the scratch directory, to see that nothing was left over.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch_.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // A new directory in the scratch directory whose path is `length`
  // characters long, names of `mark` nested so that none passes the file
  // system's limit for a name.
  fs::path DirectoryOfLength(size_t length, char mark) {
    fs::path directory = scratch_.path();
    for (size_t left; (left = length - directory.string().size()) > 0;)
      directory /= std::string(left <= 201 ? left - 1 : std::min<size_t>(200, left - 3), mark);
    fs::create_directories(directory);
    return directory;
  }

  ScratchDir scratch_;
  LocationTable table_;
  const std::string list_;
  const std::string backup_;
};

TEST_F(StampingTest, CreatesAReadOnlyListWithTheStampAloneWhenThereIsNone) {
  WriteBytes(backup_, "unrelated");
  Stamp();
  EXPECT_EQ(ReadBytes(list_), kStamp);
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_EQ(ReadBytes(backup_), "unrelated");  // left alone
  EXPECT_EQ(Names(), (std::vector<std::string>{"Software.bak", "Software.txt"}));
}

TEST_F(StampingTest, RewritesTheListAndKeepsTheOldOneAsAWritableBackup) {
  const std::string old_list = "Tools 1.0\r\nService Pack (Version: 1.9)\r\nVisu 3\r\n";
  WriteBytes(list_, old_list);
  WriteBytes(backup_, "stale backup");
  fs::permissions(backup_, fs::perms::owner_read);  // a read-only stale backup goes as well
  Stamp();
  EXPECT_EQ(ReadBytes(list_), "Tools 1.0\r\n" + kStamp + "Visu 3\r\n");
  EXPECT_EQ(ReadBytes(backup_), old_list);
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_FALSE(IsReadOnly(backup_));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Software.bak", "Software.txt"}));
}

TEST_F(StampingTest, ASecondRunGivesTheSameListAndBacksUpTheFirst) {
  WriteBytes(list_, "a\rb\nService Pack 1\r\n");
  Stamp("");
  const std::string first = ReadBytes(list_);
  EXPECT_EQ(first, "a\r\n" + StampFor("") + "\r\n");
  Stamp("");
  EXPECT_EQ(ReadBytes(list_), first);
  EXPECT_EQ(ReadBytes(backup_), first);
  EXPECT_TRUE(IsReadOnly(list_));
}

TEST_F(StampingTest, NamesTheBackupAfterADotInADirectoryName) {
  fs::create_directory(scratch_ / "lists.d");
  const std::string list = (scratch_.path() / "lists.d" / "Software").string();
  UseList(list);
  WriteBytes(list, "x\r\n");
  Stamp();
  EXPECT_EQ(ReadBytes(scratch_ / "lists.bak"), "x\r\n");
  EXPECT_EQ(ReadBytes(list), "x\r\n" + kStamp);
}

TEST_F(StampingTest, ABackupPathThatCannotBeTakenLeavesTheOldListWholeAndNothingBehind) {
  const std::string old_list = "keep me\r\n";
  WriteBytes(list_, old_list);
  fs::create_directories(scratch_.path() / "Software.bak" / "inside");
  EXPECT_NE(StampError().find("Software.bak"), std::string::npos);
  EXPECT_EQ(ReadBytes(list_), old_list);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Software.bak", "Software.txt"}));
}

TEST_F(StampingTest, AMissingDirectoryOrADirectoryAtTheListsPathFailsWithNothingBehind) {
  UseList((scratch_.path() / "missing" / "Software.txt").string());
  EXPECT_NE(StampError().find("missing"), std::string::npos);

  fs::create_directory(scratch_ / "Listdir");
  UseList(scratch_ / "Listdir");
  EXPECT_NE(StampError().find("Listdir"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(scratch_ / "Listdir"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Listdir"}));
}

// "\\127.0.0.1\share\Software.txt" would have "\\127.bak" as its backup, and a
// short list name beside a path near the limit no room for a temp file. The
// limit holds to the character: a list whose temp file or backup has a path
// of just the longest length is stamped, one a character longer refused
// with nothing touched.
TEST_F(StampingTest, RefusesBackupPathsThatNameNoFileAndPathsTooLongForTheirNeighbours) {
  const std::string near_limit =
      scratch_ / std::string(platform::LongestPath() - scratch_.path().string().size() - 5, 'd');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\\\\127.0.0.1\\share\\Software.txt", "'\\\\127.bak' names no file"},
      {"\\\\fs.corp.example\\share\\Software.txt", "'\\\\fs.bak' names no file"},
      {"\\\\.\\Z:\\Software.txt", "'\\\\.bak' names no file"},
      {near_limit + "\\S.t", "longer than"}};
  for (const auto& [list, words] : cases) {
    UseList(list);
    EXPECT_NE(StampError().find(words), std::string::npos) << list;
  }
  EXPECT_TRUE(Names().empty());

  using Measure = size_t (*)(const std::string&);
  const Measure temp_path = [](const std::string& list) {
    return platform::LongestTempPathBeside(list).size();
  };
  const Measure backup_path = [](const std::string& list) { return BackupPathFor(list).size(); };
  const size_t limit = platform::LongestPath();
  char mark = 'a';  // one directory tree a case
  for (const auto& [measure, name] :
       {std::pair{temp_path, std::string("S.t")}, std::pair{backup_path, std::string(40, 'N')}}) {
    const size_t beside_scratch = measure((scratch_.path() / name).string());
    for (const size_t over : {size_t{0}, size_t{1}}) {
      const fs::path directory = DirectoryOfLength(
          scratch_.path().string().size() + limit + over - beside_scratch, mark++);
      const std::string list = (directory / name).string();
      ASSERT_EQ(measure(list), limit + over) << list;
      UseList(list);
      WriteBytes(list, "old\r\n");
      if (over) {
        EXPECT_NE(StampError().find("longer than " + std::to_string(limit)), std::string::npos);
        EXPECT_EQ(ReadBytes(list), "old\r\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);
      } else {
        EXPECT_EQ(StampError(), "no error") << list;
        EXPECT_EQ(ReadBytes(list), "old\r\n" + kStamp);
        EXPECT_EQ(ReadBytes(BackupPathFor(list)), "old\r\n");
      }
    }
  }
}

TEST_F(StampingTest, RefusesAListThatWouldBeItsOwnBackup) {
  UseList(scratch_ / "Software.BAK");
  WriteBytes(scratch_ / "Software.BAK", "precious\r\n");
  EXPECT_NE(StampError().find("backup"), std::string::npos);
  EXPECT_EQ(ReadBytes(scratch_ / "Software.BAK"), "precious\r\n");
}

TEST_F(StampingTest, RefusesAUtf16ListAVersionThatIsNotPlainAsciiTouchingNothing) {
  const std::string old_list = "\xFF\xFE" + Utf16Bytes(u"Tools\r\nService Pack 1\r\n");
  WriteBytes(list_, old_list);
  WriteBytes(scratch_ / "~tavrin-4194303.tmp", "left by a killed run");
  try {
    Stamp("2.1 \xE9");
    ADD_FAILURE() << "no error";
  } catch (const base::RunError& error) {
    EXPECT_NE(
        std::string(error.what()).find("UTF-16 text and the version '2.1 \xE9' is not plain ASCII"),
        std::string::npos)
        << error.what();
  }
  EXPECT_EQ(ReadBytes(list_), old_list);
  EXPECT_FALSE(IsReadOnly(list_));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Software.txt", "~tavrin-4194303.tmp"}));

  WriteBytes(list_, "Tools\r\n");  // 8-bit text takes the version's bytes as they are
  Stamp("2.1 \xE9");
  EXPECT_EQ(ReadBytes(list_), "Tools\r\n" + StampFor("2.1 \xE9") + "\r\n");
}

TEST_F(StampingTest, FinishesAfterAKillThatLeftListAndBackupAsTwoNamesOfOneFile) {
  WriteBytes(list_, "old\r\n");
  fs::create_hard_link(list_, backup_);
  Stamp();
  EXPECT_EQ(ReadBytes(list_), "old\r\n" + kStamp);
  EXPECT_EQ(ReadBytes(backup_), "old\r\n");
}

TEST_F(StampingTest, StreamsListsLargerThanItsBuffers) {
  std::string old_list;
  for (int i = 0; i < 40000; ++i) old_list += "line " + std::to_string(i) + "\r\n";
  old_list += "Service Pack 1\r\n" + std::string(300000, 'z') + "\r\nService Pack 2\r\n";
  WriteBytes(list_, old_list);
  Stamp();
  const std::string expected =
      old_list.substr(0, old_list.find("Service")) + kStamp + std::string(300000, 'z') + "\r\n";
  EXPECT_EQ(ReadBytes(list_), expected);
  EXPECT_EQ(ReadBytes(backup_), old_list);
}

}  // namespace
