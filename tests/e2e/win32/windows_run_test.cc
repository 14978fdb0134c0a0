#include <windows.h>
// After windows.h, whose types they use.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/run_error.h"
#include "e2e/run_fixture.h"
#include "platform/run_turn.h"
#include "support/win32/wine.h"

namespace fs = std::filesystem;

namespace {

void RemoveEvenIfReadOnly(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

// The event log entries that Wine prints on its "eventlog" debug channel
// (ReportEventW, each string quoted, error entries as "err:", warnings as
// "warn:"). That output goes to the Unix stderr of the wine process, which
// tavrin.exe inherits from this test process: the CTest tests that run the
// tests below keep that stream in the file that TAVRIN_WINE_STDERR names.
class WineEventLog {
 public:
  // The environment variable that turns the channel on for a program.
  static constexpr const char* kDebugSetting = "-all,err+eventlog,warn+eventlog";

  explicit WineEventLog(std::string path)
      : path_(std::move(path)), seen_(ReadBytes(path_).size()) {}

  // The entries' lines printed since the last call, without thread ids.
  std::string ReportedSince() {
    const std::string text = ReadBytes(path_);
    std::istringstream added(text.substr(seen_));
    seen_ = text.size();
    std::string reported;
    for (std::string line; std::getline(added, line);)
      if (line.find(":eventlog:") != std::string::npos)
        reported += line.substr(line.find(':') + 1) + "\n";
    return reported;
  }

  // `text` as Wine's debug output quotes ASCII text.
  static std::string Quoted(const std::string& text) {
    std::string result = "L\"";
    for (char c : text) result += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
    return result + "\"";
  }

 private:
  const std::string path_;
  size_t seen_;
};

// The file that TAVRIN_WINE_STDERR names; none when the test does not run
// under Wine in one of those CTest tests.
const char* WineStderr() { return RunningOnWine() ? std::getenv("TAVRIN_WINE_STDERR") : nullptr; }

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

// Windows drops a name's trailing dots and blanks, so "List.bak." is
// "List.bak": its backup would be the list itself. Wine does the same.
TEST_F(TavrinRunTest, RefusesAListWhoseBackupIsItselfSpelledOtherwise) {
  const std::string file = scratch_ / "List.bak";
  WriteBytes(file, "keep\r\n");
  for (const std::string& list : {file + ".", file + " ", file + ". ."}) {
    options_.environment["Software_Txt"] = list;
    ExpectFailure(Run(), "names the list itself");
    EXPECT_EQ(ReadBytes(file), "keep\r\n");
    EXPECT_EQ(EntriesInScratch(), 1u);
  }
}

// "SOFTWA~1.TXT" names "Software List.txt"; its backup path "SOFTWA~1.bak"
// may be the short name of "Software Archive.bak" (NTFS numbers short names,
// Wine hashes them: there the archive with 20357 in its name collides).
TEST_F(TavrinRunTest, NeverTouchesAFileThatTheBackupPathNamesByItsShortName) {
  const std::string list = scratch_ / "Software List.txt";
  WriteBytes(list, "Service Pack 1\r\n");
  const std::vector<std::string> archives = {scratch_ / "Software Archive.bak",
                                             scratch_ / "Software Archive 20357.bak"};
  for (const std::string& archive : archives) WriteBytes(archive, "unrelated\r\n");
  char short_list[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(list.c_str(), short_list, MAX_PATH), 0u);
  const std::string short_name = short_list;
  const std::string backup = short_name.substr(0, short_name.rfind('.')) + ".bak";
  char long_backup[MAX_PATH];
  if (GetLongPathNameA(backup.c_str(), long_backup, MAX_PATH) == 0)
    GTEST_SKIP() << "no archive here has the short name " << backup;
  options_.environment["Software_Txt"] = short_name;
  ExpectFailure(Run(), "is the short name of another file");
  for (const std::string& archive : archives) EXPECT_EQ(ReadBytes(archive), "unrelated\r\n");
  EXPECT_EQ(ReadBytes(list), "Service Pack 1\r\n");
  EXPECT_EQ(EntriesInScratch(), 3u);
}

// Another run's turn, held by a thread of the test for `hold_ms`; then let go,
// or kept as the thread ends, as by a run that is killed: abandoned.
struct TurnHolder {
  std::string list;
  DWORD hold_ms;
  bool abandon;
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE letting_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI HoldTurn(void* argument) {
  auto* holder = static_cast<TurnHolder*>(argument);
  auto* turn = new platform::RunTurn(platform::RunTurn::Take(holder->list));
  SetEvent(holder->taken);
  Sleep(holder->hold_ms);
  // Set before the turn goes: the thread may end only after a run that
  // got the turn has finished.
  SetEvent(holder->letting_go);
  if (!holder->abandon) delete turn;
  return 0;
}

// Runs take turns by the identity of the list's directory, not its spelling:
// a turn held under the directory's short name keeps a run on its long name
// (or its trailing-dot form) waiting until the holder lets go or ends.
TEST_F(TavrinRunTest, WaitsForTheTurnOfItsDirectoryHoweverSpelledTillTheHolderEnds) {
  const std::string directory = scratch_ / "Long Directory Name";
  fs::create_directory(directory);
  char short_directory[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(directory.c_str(), short_directory, MAX_PATH), 0u);
  ASSERT_NE(short_directory, directory);
  options_.environment["Software_Txt"] = directory + "\\Software.txt";
  for (const bool abandon : {false, true}) {
    TurnHolder holder{std::string(short_directory) + "\\Software.txt", 1500, abandon};
    const HANDLE thread = CreateThread(nullptr, 0, HoldTurn, &holder, 0, nullptr);
    WaitForSingleObject(holder.taken, INFINITE);
    EXPECT_THROW(
        platform::RunTurn::Take(directory + ".\\Other.txt", std::chrono::milliseconds(100)),
        base::RunError);
    ExpectQuietSuccess(Run());
    EXPECT_EQ(WaitForSingleObject(holder.letting_go, 0), WAIT_OBJECT_0)
        << "the run did not wait its turn";
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(holder.taken);
    CloseHandle(holder.letting_go);
  }
  EXPECT_EQ(ReadBytes(directory + "\\Software.txt"), StampFor("0.0") + "\r\n");
}

// A failure after the list was made writable gives it back its read-only
// attribute: here the backup's directory is missing.
TEST_F(TavrinRunTest, ALateFailureLeavesTheListReadOnly) {
  WriteBytes(list_, "Service Pack 1\r\n");
  ASSERT_TRUE(SetFileAttributesA(list_.c_str(), FILE_ATTRIBUTE_READONLY));
  options_.environment["Software_Txt"] = scratch_ / "nosuch\\b.c\\..\\..\\Software.txt";
  ExpectFailure(Run(), "cannot keep the old list as");
  EXPECT_EQ(ReadBytes(list_), "Service Pack 1\r\n");
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_EQ(EntriesInScratch(), 1u);
}

TEST_F(TavrinRunTest, RefusesDevicesAsTheList) {
  for (const std::string& device : {std::string("NUL"), scratch_ / "NUL"}) {
    options_.environment["Software_Txt"] = device;
    ExpectFailure(Run(), "not a file");
  }
  EXPECT_EQ(EntriesInScratch(), 0u);
}

// A best-fit ("o") or default ("?") character would name another file.
TEST_F(TavrinRunTest, RefusesEnvironmentValuesThatTheAnsiCodePageLacks) {
  const auto code_page_has = [](wchar_t character) {
    BOOL lacks = FALSE;
    char narrow[8];
    return GetACP() == CP_UTF8 ||
           (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &character, 1, narrow, sizeof narrow,
                                nullptr, &lacks) > 0 &&
            !lacks);
  };
  const std::wstring o_macron = L"\u014D", e_acute = L"\u00E9";
  if (code_page_has(o_macron[0]) || !code_page_has(e_acute[0]))
    GTEST_SKIP() << "needs an ANSI code page with U+00E9 and without U+014D, such as 1252";
  const std::wstring dir = scratch_.path().wstring() + L"\\";
  options_.environment.erase("Software_Txt");
  options_.wide_environment["Software_Txt"] = dir + L"S" + o_macron + L"ftware.txt";
  ExpectFailure(Run(), "cannot use the environment variable 'Software_Txt'");
  options_.wide_environment.erase("Software_Txt");
  options_.wide_environment["VisuDir"] = dir + L"Visu" + o_macron;
  options_.environment["Software_Txt"] = "$VisuDir$.txt";
  ExpectFailure(Run(), "'VisuDir'");
  EXPECT_EQ(EntriesInScratch(), 0u);
  options_.environment["Software_Txt"] = list_;  // a location the list's path does not use
  ExpectQuietSuccess(Run());
  RemoveEvenIfReadOnly(list_);

  // A character that the code page has is fine.
  options_.wide_environment["VisuDir"] = dir + L"Visu" + e_acute;
  options_.environment["Software_Txt"] = "$VisuDir$.txt";
  ExpectQuietSuccess(Run());
  EXPECT_TRUE(fs::exists(scratch_.path() / (L"Visu" + e_acute + L".txt")));
}

// The runs' entries, as WindowsProgram.ReportsFailuresToTheEventLog shows them.
TEST_F(TavrinRunTest, ReportsAFailureToTheEventLog) {
  const char* wine_stderr = WineStderr();
  if (!wine_stderr)
    GTEST_SKIP() << "runs under Wine as WindowsProgram.ReportsFailuresToTheEventLog";
  WineEventLog log(wine_stderr);
  const std::string program = InstallProgram("");
  options_.environment["WINEDEBUG"] = WineEventLog::kDebugSetting;

  options_.environment["Software_Txt"] = "$VisuDir$";
  options_.environment["VisuDir"] = "$Software_Txt$";
  const ProgramRun failed = Run(program);
  ExpectFailure(failed, "refers back to itself");
  const std::string message = failed.errors.substr(8, failed.errors.size() - 8 - 2);
  EXPECT_EQ(log.ReportedSince(), "err:eventlog:ReportEventW " + WineEventLog::Quoted(message) +
                                     "\n" + "err:eventlog:ReportEventW " +
                                     WineEventLog::Quoted("Program: " + program) + "\n");

  options_.environment["Software_Txt"] = list_;
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(log.ReportedSince(), "");
}

// After the swap the new list gets the old list's permissions (DACL) and
// creation time. Wine keeps neither: it gives back a DACL made from the Unix
// mode bits, turns a DACL that is set into mode bits, and ignores a creation
// time. So what shows here is that the step runs without a fault, and that
// its failure (injected into the test build of the program) is a Warning
// entry and nothing else: exit 0, nothing on stderr, the list stamped and
// read-only. That Windows carries them rests on its documentation.
TEST_F(TavrinRunTest, CarriesTheListsPermissionsOrWarnsInTheEventLog) {
  const char* wine_stderr = WineStderr();
  if (!wine_stderr)
    GTEST_SKIP() << "runs under Wine as WindowsProgram.CarriesTheListsPermissionsOrWarns";
  WineEventLog log(wine_stderr);
  options_.environment["WINEDEBUG"] = WineEventLog::kDebugSetting;
  WriteBytes(list_, "one\r\n");
  PSECURITY_DESCRIPTOR explicit_dacl = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)", SDDL_REVISION_1, &explicit_dacl, nullptr));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(explicit_dacl, &present, &dacl, &defaulted));
  std::string path = list_;
  EXPECT_EQ(SetNamedSecurityInfoA(&path[0], SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, dacl, nullptr),
            DWORD{ERROR_SUCCESS});
  LocalFree(explicit_dacl);

  ExpectQuietSuccess(Run());
  EXPECT_EQ(ReadBytes(list_), "one\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_TRUE(IsReadOnly(list_));
  PSECURITY_DESCRIPTOR carried = nullptr;
  dacl = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoA(list_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &carried),
            DWORD{ERROR_SUCCESS});
  EXPECT_NE(dacl, nullptr);
  LocalFree(carried);
  EXPECT_EQ(log.ReportedSince(), "");

  options_.environment["TAVRIN_FAULT"] = "carry-access-control:5";
  const std::string program = InstallProgram("", TAVRIN_FAULTY_EXE);
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(ReadBytes(list_), "one\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_EQ(ReadBytes(backup_), "one\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_TRUE(IsReadOnly(list_));
  EXPECT_EQ(log.ReportedSince(),
            "warn:eventlog:ReportEventW " +
                WineEventLog::Quoted("cannot carry the old list's permissions (DACL) to '" + list_ +
                                     "': Access denied (error 5); it keeps what Windows gave it") +
                "\n" + "warn:eventlog:ReportEventW " + WineEventLog::Quoted("Program: " + program) +
                "\n");
}

// Some network shares give every file the index 0 (the test build of the
// program makes every file have it): there no two files count as one by
// their identity, so the list is not taken for its own stale backup, and the
// list's state keeps the index, so the list does not look changed at each
// look, which would end the run as "another program keeps changing it".
TEST_F(TavrinRunTest, StampsAListOnAShareThatGivesEveryFileIndexZero) {
  const std::string program = InstallProgram("", TAVRIN_FAULTY_EXE);
  options_.environment["TAVRIN_FAULT_ZERO_INDEX"] = "1";
  WriteBytes(list_, "one\r\n");
  WriteBytes(backup_, "stale\r\n");
  ExpectQuietSuccess(Run(program));
  EXPECT_EQ(ReadBytes(list_), "one\r\n" + StampFor("0.0") + "\r\n");
  EXPECT_EQ(ReadBytes(backup_), "one\r\n");
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
