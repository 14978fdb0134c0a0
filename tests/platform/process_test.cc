#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scoped_environment.h"

namespace {

// Longer than the 4096 characters a fixed buffer would hold, shorter than the
// 32767 that Windows allows.
TEST(LookUpEnvironment, TakesValuesOfAnyLengthAndEveryByte) {
  const std::string long_value = "C:\\" + std::string(20000, 'x') + "\\list.txt";
  ScopedEnvironment set("Software_Txt", long_value);
  ScopedEnvironment high("VisuDir", "C:\\Sch\xF6n\x80\xFF");
  ScopedEnvironment unset("ServicePackDir", std::nullopt);
  EXPECT_EQ(platform::LookUpEnvironment("Software_Txt"), long_value);
  EXPECT_EQ(platform::LookUpEnvironment("VisuDir"), "C:\\Sch\xF6n\x80\xFF");
  EXPECT_EQ(platform::LookUpEnvironment("ServicePackDir"), "");
}

}  // namespace
