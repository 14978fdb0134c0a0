#ifndef TAVRIN_TESTS_E2E_RUN_FIXTURE_H_
#define TAVRIN_TESTS_E2E_RUN_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/scratch.h"
#include "support/stamp_model.h"

// Runs the built program the way a setup script does, with the software
// list in a scratch directory, and checks what it leaves there.
class TavrinRunTest : public testing::Test {
 protected:
  TavrinRunTest() : list_(scratch_ / "Software.txt"), backup_(scratch_ / "Software.bak") {
    options_.environment["Software_Txt"] = list_;
    options_.working_directory = scratch_.path().string();
  }

  // A copy of the program (or of another build of it) in a directory of its
  // own, for an InstallSp.ini beside it.
  std::string InstallProgram(const std::string& install_sp_ini,
                             const std::string& exe = TAVRIN_EXE) {
    namespace fs = std::filesystem;
    fs::create_directory(scratch_.path() / "bin");
    const std::string program = (scratch_.path() / "bin" / fs::path(exe).filename()).string();
    fs::copy_file(exe, program);
    WriteBytes((scratch_.path() / "bin" / "InstallSp.ini").string(), install_sp_ini);
    return program;
  }

  ProgramRun Run(const std::string& program = TAVRIN_EXE) { return RunProgram(program, options_); }

  static void ExpectQuietSuccess(const ProgramRun& run) {
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "");
  }

  // Expects a failed run with one line on stderr that holds `words`.
  static void ExpectFailure(const ProgramRun& run, const std::string& words) {
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors.rfind("tavrin: ", 0), 0u) << run.errors;
    EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
    EXPECT_NE(run.errors.find(words), std::string::npos) << run.errors;
  }

  size_t EntriesInScratch() const {
    namespace fs = std::filesystem;
    return size_t(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()));
  }

  ScratchDir scratch_;
  const std::string list_;
  const std::string backup_;
  ProgramOptions options_;
};

#endif  // TAVRIN_TESTS_E2E_RUN_FIXTURE_H_
