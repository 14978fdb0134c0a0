#include "locations/location_table.h"

#include <gtest/gtest.h>

#include <string>

#include "base/run_error.h"

namespace {

class PlaceholdersTest : public testing::Test {
 protected:
  PlaceholdersTest() { PresetLocations(table_); }

  void Set(const std::string& name, const std::string& value) {
    for (int16_t row = 1; row <= LocationTable::kRows; ++row)
      if (table_.Row(row).name == name) {
        table_.Row(row).value = value;
        return;
      }
    FAIL() << name;
  }

  std::string Expand(const std::string& path_template) {
    return ExpandPlaceholders(table_, path_template);
  }

  // The message of the RunError that expanding `path_template` throws.
  std::string ErrorOf(const std::string& path_template) {
    try {
      Expand(path_template);
    } catch (const base::RunError& error) {
      return error.what();
    }
    return "no error";
  }

  LocationTable table_;
};

TEST_F(PlaceholdersTest, ReplacesReferencesIgnoringLetterCase) {
  EXPECT_EQ(Expand("$Software_Txt$"), "C:\\Software.txt");
  EXPECT_EQ(Expand("$SOFTWARE_TXT$"), "C:\\Software.txt");
  EXPECT_EQ(Expand("$software_txt$"), "C:\\Software.txt");
  EXPECT_EQ(Expand("$VisuDir$\\bin\\$VisiWinDir$.x"), "C:\\Omnaro\\bin\\C:\\VisiWin.x");
  EXPECT_EQ(Expand("$Computer_Ini$$ServicePack_Log$"), "C:\\Computer.iniC:\\VelmoServicePack.log");
}

TEST_F(PlaceholdersTest, TextsWithoutReferencesComeBackAsTheyAre) {
  EXPECT_EQ(Expand(""), "");
  EXPECT_EQ(Expand("C:\\plain\\path.txt"), "C:\\plain\\path.txt");
  EXPECT_EQ(Expand("C:\\one$dollar"), "C:\\one$dollar");
  EXPECT_EQ(Expand("$"), "$");
  EXPECT_EQ(Expand("$VisuDir$\\$"), "C:\\Omnaro\\$");
  EXPECT_EQ(Expand("$$"), "");  // the empty name matches the free first row
  EXPECT_EQ(Expand("a$$b$$c"), "abc");
}

TEST_F(PlaceholdersTest, ResolvesReferencesInsideValues) {
  Set("Software_Txt", "$ServicePackDir$\\list.txt");
  EXPECT_EQ(Expand("$Software_Txt$"), "C:\\ServicePacks\\list.txt");
  Set("ServicePackDir", "$VelmoToolsDir$\\SP");
  EXPECT_EQ(Expand("$Software_Txt$"), "C:\\VelmoTools\\SP\\list.txt");
  // The same location twice along different branches is no cycle.
  Set("VisuDir", "$VelmoToolsDir$+$VelmoToolsDir$");
  EXPECT_EQ(Expand("$VisuDir$|$VisuDir$"),
            "C:\\VelmoTools+C:\\VelmoTools|C:\\VelmoTools+C:\\VelmoTools");
}

TEST_F(PlaceholdersTest, ALoneDollarInAValueEndsTheExpansion) {
  Set("VisuDir", "C:\\cost$");
  EXPECT_EQ(Expand("$VisuDir$"), "C:\\cost$");
  // The value's "$" pairs with the template's next one: "$\" names nothing.
  EXPECT_EQ(Expand("$VisuDir$\\$VisiWinDir$"), "C:\\cost$\\$VisiWinDir$");
}

TEST_F(PlaceholdersTest, UnknownNamesStayAndLaterReferencesAreStillResolved) {
  EXPECT_EQ(Expand("$Nope$"), "$Nope$");
  EXPECT_EQ(Expand("X\\$Nope$-$VisuDir$"), "X\\$Nope$-C:\\Omnaro");
  EXPECT_EQ(Expand("$Nope$$VisuDir$"), "$Nope$C:\\Omnaro");
  Set("VisuDir", "$Missing$\\$VisiWinDir$");
  EXPECT_EQ(Expand("$VisuDir$"), "$Missing$\\C:\\VisiWin");
}

TEST_F(PlaceholdersTest, ValuesThatBringBackTheirOwnReferenceAreErrors) {
  Set("Software_Txt", "$Software_Txt$");  // same length forever
  EXPECT_NE(ErrorOf("$Software_Txt$").find("'Software_Txt'"), std::string::npos);
  Set("Software_Txt", "x$software_txt$");  // grows
  EXPECT_NE(ErrorOf("$Software_Txt$").find("'Software_Txt'"), std::string::npos);
  Set("Software_Txt", "$VisuDir$");  // through other rows
  Set("VisuDir", "$ServicePackDir$\\a");
  Set("ServicePackDir", "D:\\$SOFTWARE_TXT$");
  const std::string error = ErrorOf("$Software_Txt$");
  EXPECT_NE(error.find("refers back to itself"), std::string::npos) << error;
  // Two values that only together spell a reference to the first one.
  Set("Software_Txt", "$");
  EXPECT_NE(ErrorOf("$Software_Txt$Software_Txt$").find("'Software_Txt'"), std::string::npos);
}

TEST_F(PlaceholdersTest, DollarsMustStandBeforeTheSixteenBitLimit) {
  // Position 32766 is the last one whose successor still fits in 16 bits.
  EXPECT_EQ(Expand(std::string(32764, 'x') + "$$"), std::string(32764, 'x'));
  EXPECT_EQ(Expand(std::string(32765, 'x') + "$"), std::string(32765, 'x') + "$");
  EXPECT_NE(ErrorOf(std::string(32766, 'x') + "$").find("Overflow"), std::string::npos);
  EXPECT_NE(ErrorOf(std::string(32765, 'x') + "$$").find("Overflow"), std::string::npos);
  // Long texts are fine as long as no "$" is reached behind the limit.
  Set("VisuDir", std::string(40000, 'v'));
  EXPECT_EQ(Expand("$VisuDir$").size(), 40000u);
  EXPECT_NE(ErrorOf("$VisuDir$$VisiWinDir$").find("Overflow"), std::string::npos);
}

TEST_F(PlaceholdersTest, EndsRunawayExpansionsQuickly) {
  // Nine values that each name the next many times: no cycle, no "$" past
  // the 16-bit limit, but some 10^11 substitutions.
  const char* names[] = {"VelmoToolsDir", "VelmoDCSDir",  "VisuDir",         "ServicePackDir",
                         "VisiWinDir",    "Computer_Ini", "ServicePack_Log", "UsersProfile"};
  for (int i = 0; i < 8; ++i) {
    std::string value;
    for (int n = 0; n < 15; ++n) value += std::string("$") + names[i + 1 < 8 ? i + 1 : 7] + "$";
    Set(names[i], i + 1 < 8 ? value : std::string(254, '$'));
  }
  Set("Software_Txt", "$VelmoToolsDir$");
  EXPECT_NE(ErrorOf("$Software_Txt$").find("refer to each other too often"), std::string::npos);
}

}  // namespace
