#ifndef TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
#define TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_

#include <optional>
#include <string>

// Sets (or with nullopt, unsets) an environment variable of this process for
// the life of the object, then restores what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, std::optional<std::string> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

#endif  // TAVRIN_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
