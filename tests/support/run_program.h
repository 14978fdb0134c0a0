#ifndef TAVRIN_TESTS_SUPPORT_RUN_PROGRAM_H_
#define TAVRIN_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProgramRun {
  int exit_code = -1;       // -1 when the program was killed
  std::string output;       // stdout
  std::string errors;       // stderr
  long peak_memory_kb = 0;  // POSIX only: the program's peak resident set
};

struct ProgramOptions {
  // The whole environment of the program besides PATH.
  std::map<std::string, std::string> environment;
  // Windows only: more variables, in UTF-16, for characters that the ANSI
  // code page lacks.
  std::map<std::string, std::wstring> wide_environment;
  std::string working_directory;
  // POSIX only: kill the program this many microseconds after its start.
  std::optional<long> kill_after_us;
  // POSIX only: limit on the size of any file the program writes (bytes).
  std::optional<long> file_size_limit;
  // POSIX only: run as this user and group (the tests run as root).
  std::optional<unsigned> user_id;
  // POSIX only: the program's arguments (tavrin takes none; a tracer does).
  std::vector<std::string> arguments;
};

ProgramRun RunProgram(const std::string& program, const ProgramOptions& options);

#endif  // TAVRIN_TESTS_SUPPORT_RUN_PROGRAM_H_
