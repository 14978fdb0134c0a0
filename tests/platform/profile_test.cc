#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "base/run_error.h"
#include "support/scratch.h"

namespace {

// The lookup with the version lookup's buffer.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file) {
  return platform::LookUpProfileString(section, key, file, 255);
}

TEST(ReadProfileString, ReturnsTheValueCutTo254Characters) {
  ScratchDir scratch;
  const std::string ini = scratch / "InstallSp.ini";
  const std::string long_value = std::string(250, 'a') + "bcdefghij" + std::string(41, 'z');
  WriteBytes(ini, "[Intern]\r\nText1=Velmo Service Pack 2.1\r\nLong=" + long_value +
                      "\r\nEmpty=\r\nBlank=   \r\n");
  EXPECT_EQ(ReadProfileString("Intern", "Text1", ini), "Velmo Service Pack 2.1");
  EXPECT_EQ(ReadProfileString("Intern", "Long", ini), long_value.substr(0, 254));
  EXPECT_EQ(ReadProfileString("Intern", "Empty", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Blank", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Missing", ini), "");
  EXPECT_EQ(ReadProfileString("Extern", "Text1", ini), "");
  EXPECT_EQ(ReadProfileString("Intern", "Text1", scratch / "absent.ini"), "");
  // Something there that cannot be read is no missing file.
  EXPECT_THROW(ReadProfileString("Intern", "Text1", scratch.path().string()), base::RunError);
  WriteBytes(ini, "[Intern]\r\nText1=x\r\n" + std::string(16 << 20, ';'));  // no profile
  EXPECT_THROW(ReadProfileString("Intern", "Text1", ini), base::RunError);
}

}  // namespace
