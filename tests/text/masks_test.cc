#include "text/masks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "text/text_test_fixture.h"

namespace quarnell {
namespace {

using testing::TextTest;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::nan("");

class FormatMaskTest : public TextTest {};

TEST_F(FormatMaskTest, Examples) {
  struct Case {
    const char* mask;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {"Z,ZZZ,ZZ9-", 1234567, "1.234.567 "},
      {"Z,ZZZ,ZZ9-", -1234, "    1.234-"},
      {"Z,ZZZ,ZZ9-", 0, "        0 "},
      {"ZZZ9", 2024, "2024"},
      {"ZZ9.ZZ", 5, "  5   "},  // a whole number shows no point
      {"ZZ9.ZZ", 5.5, "  5'5 "},
      {"ZZ9.ZZ", 5.25, "  5'25"},
      {"ZZ9.ZZ", 12, " 12   "},
      {"ZZ9.ZZ", 0, "  0   "},
      {"ZZ9.99", 5, "  5'00"},
      {"9.99", 0.125, "0'12"},  // half to even on the scaled magnitude
      {"9.99", 0.375, "0'38"},
      {"9", 0.5, "0"},
      {"9", 1.5, "2"},
      {"9", 2.5, "2"},
      {"99", 2.51, "03"},
      {"ZZ9.99", 12345, "!!!!!!"},  // the plain number 12345'00 is wider than the mask
      {"ZZ9.99", 1234567, "!!!!!!"},
      {"Z,ZZ9", 12345, "12345"},  // too many digits for the mask, but the plain number fits
      {"ZZZ", 0, "   "},
      {"zz9", 0, "  0"},
      {"***,**9.99", 1234.5, "**1.234'50"},
      {"***,**9", 0, "******0"},
      {"ZZ9 EUR", 5, "  5 EUR"},
      {"+ZZ9", 5, "+  5"},
      {"+ZZ9", -5, "-  5"},
      {"ZZ9+", 5, "  5+"},
      {"ZZ9.99-", -5.5, "  5'50-"},
      {"ZZ9.99-", 5.5, "  5'50 "},
      {"ZZ9.99", 999.999, "!!!!!!"},  // rounds up to 1000.00, which no longer fits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatMask(c.mask, c.value), c.expected) << c.mask << " " << c.value;
  }
}

TEST_F(FormatMaskTest, FloatingMinus) {
  struct Case {
    const char* mask;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {"ZZZ", -0.001, "  -"},  // rounds to zero, still negative
      {"ZZZ9", -5, "  -5"},
      {"Z,ZZ9", -123, " -123"},     // the minus takes the separator's place
      {"ZZ,ZZ9", -1234, "-1.234"},  // in the first free position
      {"99", -5, "-5"},
      {"Z9.99", -1.5, "-1'50"},
      // No free position left: the overflow text with its minus.
      {"Z,ZZ9", -1234, "-1234"},
      {"Z9.99", -12.5, "!!!!!"},
      {"ZZ9", -123, "!!!"},
      {"9", -5, "!"},
      // A minus that finds no place to the left of the digits must not be lost.
      {".99", -0.05, "!!!"},
      {"X99", -5, "X-5"},
      {"X9", -5, "-5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatMask(c.mask, c.value), c.expected) << c.mask << " " << c.value;
  }
}

TEST_F(FormatMaskTest, ValuesThatCanNeverFit) {
  for (const double value : {kInf, -kInf, kNan, 1e300, -1e300, 1e20}) {
    EXPECT_EQ(FormatMask("Z,ZZZ,ZZ9-", value), "!!!!!!!!!!") << value;
    EXPECT_EQ(FormatMask("ZZ9.99", value), "!!!!!!") << value;
  }
  EXPECT_EQ(FormatMask("", 5), "");
  // Huge values are written from their exact decimal expansion.
  const std::string wide(320, 'Z');
  const std::string text = FormatMask(wide, 1e300);
  ASSERT_EQ(text.size(), wide.size());
  EXPECT_EQ(text.substr(19, 20), "10000000000000000525");
  EXPECT_EQ(text.substr(0, 19), std::string(19, ' '));
  // Many decimals: the scaling leaves the double range, the digits stay exact.
  const std::string fine = FormatMask("9." + std::string(400, '9'), 0.5);
  EXPECT_EQ(fine, "0'5" + std::string(399, '0'));
}

TEST_F(FormatMaskTest, SeparatorSettings) {
  SetSetting("DecCaracter", ",.");
  SetSetting("MilCaracter", " ");  // blank: the default
  EXPECT_EQ(FormatMask("Z,ZZZ,ZZ9.99", 1234.5), "    1.234,50");
  SetSetting("MilCaracter", "x");
  EXPECT_EQ(FormatMask("Z,ZZZ,ZZ9.99", 1234.5), "    1x234,50");
  EXPECT_EQ(FormatMask("Z,ZZ9.99", 12345.5), "12345,50");  // the overflow text too
  settings_["DecCaracter"] = ";";                          // read once per run
  EXPECT_EQ(FormatMask("9.9", 1), "1,0");
  ForgetUserSettings();
  EXPECT_EQ(FormatMask("9.9", 1), "1;0");
}

class FormatAmountTest : public TextTest {
 protected:
  FormatAmountTest() {
    SetCurrency("a,E");
    SetCurrency("x,");
    SetCurrency("");
  }
  ~FormatAmountTest() override {
    SetCurrency("x,");
    SetCurrency("");
  }
};

TEST_F(FormatAmountTest, Euros) {
  struct Case {
    const char* mask;
    double hundredths;
    const char* expected;
  };
  const Case cases[] = {
      {"Z,ZZZ,ZZZ,ZZ9-", 123456789, " 1.234.567'89 "},
      {"Z,ZZZ,ZZZ,ZZ9-", -123456789, " 1.234.567'89-"},
      {"Z,ZZZ,ZZZ,ZZ9-", 0, "         0'00 "},
      {"Z,ZZZ,ZZZ,ZZ9-", 5, "         0'05 "},
      {"ZZ,ZZZ,ZZ9-", 100, "      1'00 "},
      {"Z,ZZZ,ZZ9-", -1, "     0'01-"},
      {"Z,ZZZ,ZZ9-", 123456789, "1234567'89"},  // overflow: the plain number
      {"ZZZ", 0, "   "},                        // no digit asked for: a zero stays blank
      {"-ZZZ,ZZ9", -12345, "- 123'45"},         // a leading sign stays in front
      {"-ZZZ,ZZ9", 12345, "  123'45"},
      {"***,**9", 12345, "*123'45"},
      {"Z,ZZZ,ZZZ,ZZ9-", kInf, "!!!!!!!!!!!!!!"},
      {"Z,ZZZ,ZZZ,ZZ9-", kNan, "!!!!!!!!!!!!!!"},
      {"Z,ZZZ,ZZZ,ZZ9-", -1e300, "!!!!!!!!!!!!!!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatAmount(c.mask, c.hundredths), c.expected) << c.mask << " " << c.hundredths;
  }
}

// The statement's three amount columns: beyond the mask's digits an amount is printed as its plain
// number while that fits the column, and as overflow marks from the first amount whose plain number
// is wider; never as a number cut short.
TEST_F(FormatAmountTest, WidestAmountsOfTheStatementColumns) {
  struct Case {
    const char* mask;
    double hundredths;
    const char* expected;
  };
  const Case cases[] = {
      // Account layout amounts.
      {"Z,ZZZ,ZZZ,ZZ9-", 9999999999, "99.999.999'99 "},
      {"Z,ZZZ,ZZZ,ZZ9-", 10000000000, "  100000000'00"},
      {"Z,ZZZ,ZZZ,ZZ9-", 9999999999999, "99999999999'99"},
      {"Z,ZZZ,ZZZ,ZZ9-", 10000000000000, "!!!!!!!!!!!!!!"},
      {"Z,ZZZ,ZZZ,ZZ9-", -999999999999, "-9999999999'99"},
      {"Z,ZZZ,ZZZ,ZZ9-", -1000000000000, "!!!!!!!!!!!!!!"},
      // Fiscal layout income and allocated expenses.
      {"ZZ,ZZZ,ZZ9-", 9999999999, "99999999'99"},
      {"ZZ,ZZZ,ZZ9-", 10000000000, "!!!!!!!!!!!"},
      {"ZZ,ZZZ,ZZ9-", 25769803764, "!!!!!!!!!!!"},  // once printed as 257698037'6
      {"ZZ,ZZZ,ZZ9-", -999999999, "-9999999'99"},
      {"ZZ,ZZZ,ZZ9-", -1000000000, "!!!!!!!!!!!"},
      // Fiscal layout deductions and retentions.
      {"Z,ZZZ,ZZ9-", 999999999, "9999999'99"},
      {"Z,ZZZ,ZZ9-", 1000000000, "!!!!!!!!!!"},
      {"Z,ZZZ,ZZ9-", -99999999, "-999999'99"},
      {"Z,ZZZ,ZZ9-", -100000000, "!!!!!!!!!!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatAmount(c.mask, c.hundredths), c.expected) << c.mask << " " << c.hundredths;
  }
}

TEST_F(FormatAmountTest, PesetasUseTheSinglePrecisionRate) {
  SetCurrency("x,P");
  SetCurrency("p");
  ASSERT_EQ(Currency().output, "P");
  EXPECT_EQ(FormatAmount("Z,ZZZ,ZZZ,ZZ9-", 100000), "      166.386 ");
  EXPECT_EQ(FormatAmount("Z,ZZZ,ZZZ,ZZ9-", -100000), "      166.386-");
  EXPECT_EQ(FormatAmount("ZZZ,ZZZ,ZZZ,ZZ9", 1e11), "166.386.001.587");
  EXPECT_EQ(FormatAmount("ZZ9", 1), "  2");  // 1.66386 pesetas
}

TEST(CurrencyTest, CommandsChangeTheState) {
  struct Step {
    const char* command;
    const char* main;
    const char* secondary;
    const char* output;
  };
  const Step steps[] = {
      {"a,E", "E", "", "E"},      {"p", "E", "", "E"},  // no secondary: stays main
      {"x, p ", "E", "P", "E"},   {"P", "E", "P", "P"}, {"", "E", "P", "E"},
      {"Pesetas", "E", "P", "P"}, {"z", "E", "P", "E"}, {"A,d", "D", "P", "D"},
      {"b,", "D", "", "D"},       {"p", "D", "", "D"},  {"a,E", "E", "", "E"},
  };
  for (const Step& s : steps) {
    SetCurrency(s.command);
    EXPECT_EQ(Currency().main, s.main) << s.command;
    EXPECT_EQ(Currency().secondary, s.secondary) << s.command;
    EXPECT_EQ(Currency().output, s.output) << s.command;
  }
}

TEST(NumberTextTest, FixedNumberText) {
  struct Case {
    double value;
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {-12.3, "6.2V", "-0001230"},
      {12.3, "6.2VS", "+0001230"},
      {-12.3, "6.2VN", "N0001230"},
      {12.3, "6.2", "000012.30"},
      {12.3, "6.2m", " 00012.30"},
      {-12.3, "6.2M", "N00012.30"},
      {-12.3, "6.2S", "-00012.30"},  // "S" only marks positive values
      {12.3, "6.2N", "000012.30"},
      {0.5, ".1Z", "0.5"},
      {0.5, ".1", ".5"},
      {0, "6.2", "000000.00"},
      {1234567, "4", "4567"},
      {2.5, "2", "02"},
      {3.5, "2", "04"},
      {12.34, "4.2v", "001234"},
      {-5, "3", "-05"},
      {5, "S", "+5"},
      {-5, "N", "N5"},
      {1e10, "3.2", "000.00"},
      {1e20, "", "100000000000000000000"},
      {kInf, "6.2", "000000.00"},  // a field cannot hold infinity
      {kNan, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedNumberText(c.value, c.format), c.expected) << c.value << " " << c.format;
  }
  // Absurd widths are bounded rather than exhausting memory.
  EXPECT_EQ(FixedNumberText(1, "99999999999").size(), 999u);
}

TEST(NumberTextTest, AllSignificantDecimals) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {0, ""},
      {0.5, ".5"},
      {12.5, "12.5"},
      {-3, "-3"},
      {0.7, ".7"},
      {-0.25, "-.25"},
      {1e-5, ".00001"},
      {8394.657343, "8394.657343"},
      {123456789012.0, "123456789012"},
  };
  for (const Case& c : cases) EXPECT_EQ(NumberText(c.value), c.expected) << c.value;
}

TEST(NumberTextTest, ZeroPad) {
  struct Case {
    int64_t value;
    int width;
    const char* expected;
  };
  const Case cases[] = {
      {7, 2, "07"},      {2024, 2, "24"},
      {2024, 4, "2024"}, {-7, 3, "007"},
      {123, 5, "00123"}, {5, 0, ""},
      {5, -3, ""},       {std::numeric_limits<int64_t>::min(), 3, "808"},
  };
  for (const Case& c : cases) EXPECT_EQ(ZeroPad(c.value, c.width), c.expected) << c.value;
}

TEST(NumberCheckTest, CheckNumberSyntax) {
  struct Case {
    const char* text;
    const char* allowed;
    bool error;
  };
  const Case cases[] = {
      {"1-2", "-", true},   {"-12", "-", false}, {"x-", "-", true},    {" 12 ", "", false},
      {"1.5", "", true},    {"1.5", ".", false}, {"1.5.2", ".", true}, {"-1.5", "-.", false},
      {"1.-5", ".-", true}, {".5-", ".-", true}, {"+5", "-", false},   {"+5", "", true},
      {"--5", "-", true},   {"- 5", "-", false}, {"", "", false},      {"-", "-", false},
      {"5x", ".-", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckNumberSyntax(c.text, c.allowed), c.error) << c.text << " / " << c.allowed;
  }
}

TEST(NumberCheckTest, ValidateNumber) {
  struct Case {
    const char* text;
    double minimum;
    double maximum;
    int decimals;
    bool error;
  };
  const Case cases[] = {
      {"10.01", 0, 10, 2, true},
      {"10.00", 0, 10, 2, false},
      {"10", 0, 10, 0, false},
      {"11", 0, 10, 0, true},
      {"-1", 0, 10, 0, true},  // the minus is not allowed
      {"-1", -5, 10, 0, false},
      {"-6", -5, 10, 0, true},
      {"+3", -5, 10, 0, false},
      {"1.5", 0, 10, 0, true},
      {" 1 5 ", 0, 20, 0, false},
      {"", 0, 10, 0, false},
      {"", 1, 10, 0, true},
      {"5", 0, 10, 17, true},
      {"5", 0, 10, -1, true},
      {"5", 10, 0, 0, true},
      {"99999999999999999999999999", 0, 1e9, 0, true},
      {"0.0000000001", 0, 10, 16, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValidateNumber(c.text, c.minimum, c.maximum, c.decimals), c.error) << c.text;
  }
  EXPECT_TRUE(ValidateNumber(std::string(400, '9'), 0, 10, 0));
  EXPECT_FALSE(ValidateNumber("0." + std::string(400, '0') + "1", 0, 10, 16));
}

TEST(NumberCheckTest, ValidateDottedCode) {
  struct Case {
    const char* text;
    bool error;
  };
  const Case cases[] = {
      {"", false},
      {"      ", false},
      {"430", false},
      {"430.12     ", false},
      {"430.12", true},  // one point needs seven characters
      {"0", true},
      {"12345", true},
      {"123456", false},
      {"1234567", true},
      {"1.2.3         ", false},
      {"1..2          ", true},
      {"-1", true},
      {"12a", true},
      {"10000.1     ", true},
      {"123456.9999", false},
      {"123456.10000", true},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidateDottedCode(c.text), c.error) << c.text;
}

TEST(RoundHalfEvenTest, TiesToEvenAndSaturation) {
  struct Case {
    long double value;
    int32_t expected;
  };
  const Case cases[] = {
      {2.5L, 2},
      {3.5L, 4},
      {-2.5L, -2},
      {-3.5L, -4},
      {0.5L, 0},
      {-0.5L, 0},
      {1.5L, 2},
      {2.4999L, 2},
      {2.5001L, 3},
      {123456.5L, 123456},
      {-7.7L, -8},
      {2147483647.4L, 2147483647},
      {2147483647.5L, 2147483647},
      {-2147483648.5L, -2147483648},
      {1e10L, 2147483647},
      {-1e10L, -2147483647 - 1},
      {1e4000L, 2147483647},
      {std::numeric_limits<long double>::infinity(), 0},
      {-std::numeric_limits<long double>::infinity(), 0},
      {std::numeric_limits<long double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;
}

}  // namespace
}  // namespace quarnell
