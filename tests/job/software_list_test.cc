#include "job/software_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/run_error.h"
#include "platform/file.h"
#include "support/scratch.h"
#include "support/stamp_model.h"

namespace fs = std::filesystem;

namespace {

const std::string kStamp = StampFor("2.1") + "\r\n";

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
// short list name beside a path near the limit no room for a temp file.
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
