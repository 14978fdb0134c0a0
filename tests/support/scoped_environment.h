#ifndef TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
#define TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_

#include <optional>
#include <string>

// This process's environment variable `name`; nullopt when it is not set.
std::optional<std::string> GetEnvironment(const std::string& name);
// Sets the variable, or with nullopt removes it.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// Sets (or with nullopt, removes) an environment variable for the life of
// the object, then restores what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

#endif  // TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
