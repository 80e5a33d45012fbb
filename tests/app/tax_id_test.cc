#include "app/tax_id.h"

#include <gtest/gtest.h>

namespace quarnell {
namespace {

TEST(TaxIdTest, SpanishIdentifiersAndTheirCheckCharacters) {
  struct Case {
    const char* stored;
    const char* problem;  // empty: valid
  };
  const Case cases[] = {
      {"ES12345678Z      ", ""},  // NIF: 12345678 mod 23 = 14, Z
      {"ES12345678A", "the check character should be Z"},
      {"ES00000000T", ""},
      {"ESX1234567L", ""},  // NIE: X counts as 0
      {"ESY1234567X", ""},  // Y counts as 1: 11234567 mod 23 = 10, X
      {"ESZ1234567R", ""},  // Z counts as 2: 21234567 mod 23 = 1, R
      {"ESK1234567L", ""},  // K, L, M: the seven digits alone
      {"ESB61234563", ""},  // CIF of a company: digit only
      {"ESB61234567", "the check character should be 3"},
      {"ESA58818501", ""},
      {"ESP0800000B", ""},  // a public body: letter only
      {"ESP08000002", "the check character should be B"},
      {"ESG12345674", ""},  // an association: digit or letter
      {"ESG1234567D", ""},
      {"ESG1234567A", "the check character should be 4 or D"},
      {"", "it is blank"},
      {"                 ", "it is blank"},
      {"FR12345678901", "it does not begin with the country prefix ES"},
      {"12345678Z", "it does not begin with the country prefix ES"},
      {"ES1234567Z", "it is not a NIF, NIE or CIF (nine characters after ES)"},
      {"ES12345678-Z", "it is not a NIF, NIE or CIF (nine characters after ES)"},
      {"ES 12345678Z", "it is not a NIF, NIE or CIF (nine characters after ES)"},
      {"ESI1234567A", "it is not a NIF, NIE or CIF (nine characters after ES)"},
      {"ESX12A4567L", "it is not a NIF, NIE or CIF (nine characters after ES)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpanishTaxIdProblem(c.stored), c.problem) << c.stored;
  }
}

}  // namespace
}  // namespace quarnell
