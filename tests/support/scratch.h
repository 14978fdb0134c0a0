#ifndef TAVRIN_TESTS_SUPPORT_SCRATCH_H_
#define TAVRIN_TESTS_SUPPORT_SCRATCH_H_

#include <filesystem>
#include <string>

// A fresh directory for one test, removed with everything in it (read-only
// files included) when the test ends.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string.
  std::string operator/(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool IsReadOnly(const std::string& path);

#endif  // TAVRIN_TESTS_SUPPORT_SCRATCH_H_
