#include "app/piece_panel.h"

#include <gtest/gtest.h>

#include <string>

namespace vordel {
namespace {

// What the field says as one types: the warnings first and alone, then what each number does;
// a [Reproduce] line from the history is read with its clock; a string that makes no piece says
// why among the warnings.
TEST(PieceField, SaysWhatTheNumbersDoAsOneTypes) {
  struct Row {
    const char* field;
    const char* warnings;  // "" for none
    const char* in_text;
  };
  const Row rows[] = {
      {"0 60 40 10 15", "", "\"0 60 40 10 15\": 1 section(s)"},
      {"0 60 40 10 15 9", "1 number(s) after the last complete group of five are not used: 9",
       "Section 1: Statement"},
      {"0 60 40 200 15", "section 1: tempo 200 is outside 1-100 and is read as 50",
       "   <- tempo 200 is outside 1-100"},
      {"0 60 40 10 15 9 0 60 40 10", "section 2: register 0 is outside 1-100",
       "  register       0  pitches from C3 (48), as for 50   <- register 0 is outside"},
      {"vordel-compose --clock 1843 --dump '0 60 40 10 15'", "",
       "That very piece again (its clock is pinned)."},
      {"--clock x '0 60 40 10 15'", "--clock", ""},
  };
  for (const Row& row : rows) {
    const FieldExplanation e = ExplainField(row.field);
    if (row.warnings[0] == '\0') {
      EXPECT_EQ(e.warnings, "") << row.field;
      EXPECT_EQ(e.text.find("Warning: "), std::string::npos) << row.field;
    } else {
      EXPECT_NE(e.warnings.find(row.warnings), std::string::npos)
          << row.field << ": " << e.warnings;
      EXPECT_EQ(e.text.rfind("Warning: " + e.warnings, 0), 0u) << row.field;
    }
    EXPECT_NE(e.text.find(row.in_text), std::string::npos) << row.field << ":\n" << e.text;
  }
  const FieldExplanation refused = ExplainField("1 2");
  EXPECT_NE(refused.warnings.find("not one complete group of five"), std::string::npos)
      << refused.warnings;
}

}  // namespace
}  // namespace vordel
