#include "text/dates.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "text/cp850.h"
#include "text/language.h"
#include "text/text_test_fixture.h"

namespace quarnell {
namespace {

using testing::TextTest;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(PackDigitsTest, PacksTwoDigitsPerByte) {
  struct Case {
    const char* digits;
    std::string packed;
  };
  const Case cases[] = {
      {"20240305", Bytes({148, 152, 131, 133})},
      {"00000000", Bytes({128, 128, 128, 128})},
      {"99", Bytes({227})},
      {"123", Bytes({140, 158})},  // a missing last digit counts as 0
      {" 5", Bytes({133})},        // trimmed and right-aligned
      {"5 ", Bytes({133})},
      {"1 2", Bytes({138, 148})},  // an inner blank reads as 0
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PackDigits(c.digits), c.packed) << c.digits;
}

TEST(PackDigitsTest, UnpackClearsTheHighBitAndKeepsTwoDigits) {
  EXPECT_EQ(UnpackDigits(Bytes({148, 152, 131, 133})), "20240305");
  EXPECT_EQ(UnpackDigits(Bytes({128 + 100, 255, 5})), "002705");
  EXPECT_EQ(UnpackDigits(""), "");
  EXPECT_EQ(UnpackDigits(PackDigits("0430001200")), "0430001200");
}

TEST(PackDigitsTest, PackedOrderIsNumericOrder) {
  const std::vector<const char*> ascending = {"00000000", "15821004", "15821015", "19991231",
                                              "20000101", "20240229", "99991231"};
  for (size_t i = 1; i < ascending.size(); ++i) {
    EXPECT_LT(PackDigits(ascending[i - 1]), PackDigits(ascending[i])) << ascending[i];
  }
  EXPECT_EQ(DateNumber(MakeDate(20240305)), 20240305);
  EXPECT_EQ(MakeDate(0), EmptyDate());
}

class DateEntryTest : public TextTest {};

TEST_F(DateEntryTest, ParseReadsEveryEntryForm) {
  struct Case {
    const char* text;
    int32_t expected;  // 0: the empty date
  };
  const Case cases[] = {
      {"5.3.24", 20240305},
      {"05/03/2024", 20240305},
      {"050324", 20240305},
      {"05032024", 20240305},
      {"5-3-24", 20240305},
      {" 5. 3. 24", 20240305},
      {"050324  ", 20240305},  // a blank-padded entry field
      {"5.3", 0},              // one separator
      {"5.3.24.1", 0},         // a third separator
      {"5a3.24", 0},           // a foreign character
      {"", 0},
      {"40000.1.24", 0},          // too large for a 16-bit field
      {"1.1.99999999999999", 0},  // must not overflow
      {"1.1.32767", 27670101},    // only four digits of the year are kept
      {"0.3.24", 240300},         // no century for an incomplete date
      {"5.3.124", 20240305},      // three digits still count as a short year
      {"5.3.0024", 240305},       // four digits never do
      {"31.2.24", 20240231},      // no range check here
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateNumber(ParseDate(c.text)), c.expected) << c.text;
    if (c.expected == 0) {
      EXPECT_EQ(ParseDate(c.text), EmptyDate()) << c.text;
    }
  }
}

TEST_F(DateEntryTest, CenturyWindowsOfParseAndValidateDiffer) {
  clock_.set_today(20260115);
  // Parsing moves a year 50 ahead back a century; validation keeps it.
  EXPECT_EQ(DateNumber(ParseDate("1.1.76")), 19760101);
  EXPECT_EQ(DateNumber(ParseDate("1.1.77")), 19770101);
  EXPECT_EQ(DateNumber(ParseDate("1.1.75")), 20750101);
  EXPECT_EQ(DateNumber(ParseDate("1.1.1976")), 19760101);
  EXPECT_FALSE(ValidateDateText("1.1.76"));
  EXPECT_FALSE(ValidateDateText("1.1.77"));

  // Validation applies the window only below 100: "100" stays year 100 (not a leap year).
  EXPECT_TRUE(ValidateDateText("29.2.100"));
  EXPECT_EQ(DateNumber(ParseDate("29.2.100")), 20000229);
  // "00" is 2000 (leap) now, but 2200 (not leap) seen from 2151.
  EXPECT_FALSE(ValidateDateText("29.2.00"));
  clock_.set_today(21510101);
  EXPECT_TRUE(ValidateDateText("29.2.00"));
  EXPECT_EQ(DateNumber(ParseDate("29.2.00")), 22000229);
  // Fifty years back stays in this century for both.
  clock_.set_today(20500101);
  EXPECT_EQ(DateNumber(ParseDate("1.1.00")), 20000101);
  EXPECT_EQ(DateNumber(ParseDate("1.1.99")), 20990101);
}

TEST_F(DateEntryTest, ValidateChecksTheGregorianCalendar) {
  struct Case {
    const char* text;
    bool invalid;
  };
  const Case cases[] = {
      {"29.2.1900", true},  {"29.2.2000", false},  {"29.2.2024", false},
      {"29.2.2023", true},  {"29.2.1500", true},  // the Gregorian rule applies to every year here
      {"10.10.1582", true}, {"5.10.1582", true},   {"14.10.1582", true},
      {"4.10.1582", false}, {"15.10.1582", false}, {"31.4.2024", true},
      {"30.4.2024", false}, {"31.12.2024", false}, {"0.1.2024", true},
      {"1.0.2024", true},   {"1.13.2024", true},   {"5.3", true},
      {"", true},           {"x", true},           {"050324", false},
      {"32.1.24", true},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidateDateText(c.text), c.invalid) << c.text;
}

TEST_F(DateEntryTest, EditTextUsesTwoYearDigitsNearToday) {
  clock_.set_today(20260115);
  struct Case {
    int32_t date;
    const char* text;
  };
  const Case cases[] = {
      {20260305, "050326"},
      {19760101, "010176"},
      {19751231, "31121975"},
      {20751231, "311275"},
      {20760101, "01012076"},
      {19000305, "05031900"},
      {0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateEditText(MakeDate(c.date)), c.text) << c.date;
    if (c.date != 0) {
      EXPECT_EQ(DateNumber(ParseDate(c.text)), c.date) << c.text;
    }
  }
}

class FormatDateTest : public TextTest {};

TEST_F(FormatDateTest, CatalanStylesAndWidths) {
  const Date date = MakeDate(20240305);
  struct Case {
    int style;
    const char* parts;
    std::string expected;
  };
  const Case cases[] = {
      {-1, "DMA", "2024-03-05"},
      {-1, "", "2024-03-05"},
      {0, "DMA", "5/3/2024  "},
      {1, "DMA", "5/mar/2024 "},
      {2, "DMA", "5 de març del 2024"_cp850},
      {3, "dma", "5 de març del 2024"_cp850},
      {0, "MA", "3/2024 "},
      {1, "M", "mar"},
      {2, "MA", "març del 2024"_cp850},
      {2, "A", "2024"},
      {0, "DM", "5/3  "},
      {0, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDate(date, c.style, c.parts), c.expected) << c.style << " " << c.parts;
  }
  EXPECT_EQ(FormatDate(MakeDate(20240412), 2, "DMA"), "12 d'abril del 2024");
  EXPECT_EQ(FormatDate(MakeDate(20241031), 0, "DMA"), "31/10/2024");
  EXPECT_EQ(FormatDate(MakeDate(9990101), -1, "DMA"), "0999-01-01");
  EXPECT_EQ(FormatDate(MakeDate(9990101), 2, "A"), "0999");
  // An unchecked stored month outside 1..12 shows its number; unused styles read as style 0.
  EXPECT_EQ(FormatDate(MakeDate(20241305), 2, "DMA"), "5 de 13 del 2024");
  EXPECT_EQ(FormatDate(MakeDate(20241305), 1, "DMA"), "5/13/2024  ");
  EXPECT_EQ(FormatDate(date, -5, "DMA"), "5/3/2024  ");
}

TEST_F(FormatDateTest, EmptyDate) {
  EXPECT_EQ(FormatDate(EmptyDate(), -1, "DMA"), "0000-00-00");
  EXPECT_EQ(FormatDate(EmptyDate(), 0, "DMA"), "          ");
  EXPECT_EQ(FormatDate(EmptyDate(), 1, "DMA"), "           ");
  EXPECT_EQ(FormatDate(EmptyDate(), 2, "DMA"), "");
}

TEST_F(FormatDateTest, MonthNamesInEveryLanguage) {
  struct Case {
    const char* language;
    std::vector<std::string> months;
  };
  const Case cases[] = {
      {"CAT",
       {"gener", "febrer", "març"_cp850, "abril", "maig", "juny", "juliol", "agost", "setembre",
        "octubre", "novembre", "desembre"}},
      {"SPA",
       {"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto", "septiembre",
        "octubre", "noviembre", "diciembre"}},
      {"GLG",
       {"janeiro", "fevereiro", "março"_cp850, "abril", "maio", "junho", "julho", "agosto",
        "setembro", "outubro", "novembro", "dezembro"}},
      {"OCI",
       {"gèr"_cp850, "hereuèr"_cp850, "març"_cp850, "abriu", "mai", "junh", "junhsega", "agost",
        "seteme", "octobre", "noveme", "deseme"}},
      {"XYZ",
       {"gener", "febrer", "març"_cp850, "abril", "maig", "juny", "juliol", "agost", "setembre",
        "octubre", "novembre", "desembre"}},
  };
  for (const Case& c : cases) {
    SetLanguageCode(c.language);
    for (int m = 1; m <= 12; ++m) {
      const Date date = MakeDate(20240100 + m * 100 - 100 + 1);
      EXPECT_EQ(FormatDate(date, 2, "M"), c.months[m - 1]) << c.language << " " << m;
      std::string abbreviation = c.months[m - 1].substr(0, 3);
      abbreviation.resize(3, ' ');
      EXPECT_EQ(FormatDate(date, 1, "M"), abbreviation) << c.language << " " << m;
    }
  }
  SetLanguageCode("OCI");
  EXPECT_EQ(FormatDate(MakeDate(20240601), 1, "M"), FormatDate(MakeDate(20240701), 1, "M"));
}

TEST_F(FormatDateTest, LongFormJoiningWords) {
  struct Case {
    const char* language;
    int32_t date;
    std::string expected;
  };
  const Case cases[] = {
      {"CAT", 20240305, "5 de març del 2024"_cp850}, {"CAT", 20240412, "12 d'abril del 2024"},
      {"CAT", 20241001, "1 d'octubre del 2024"},     {"CAT", 20240801, "1 d'agost del 2024"},
      {"SPA", 20240305, "5 de marzo de 2024"},       {"SPA", 20240412, "12 de abril de 2024"},
      {"GLG", 20240305, "5 de março do 2024"_cp850}, {"GLG", 20240412, "12 de abril do 2024"},
      {"OCI", 20240412, "12 d'abriu deth 2024"},     {"OCI", 20240101, "1 de gèr deth 2024"_cp850},
      {"OCI", 20241101, "1 de noveme deth 2024"},
  };
  for (const Case& c : cases) {
    SetLanguageCode(c.language);
    EXPECT_EQ(FormatDate(MakeDate(c.date), 2, "DMA"), c.expected) << c.language << c.date;
  }
}

TEST_F(FormatDateTest, SeparatorAndOrderSettings) {
  const Date date = MakeDate(20240305);
  struct Case {
    const char* separator;
    const char* order;
    int style;
    std::string expected;
  };
  const Case cases[] = {
      {"-", "AMD", 0, "2024-3-5  "},
      {".x", "MDA", 1, "mar.5.2024 "},  // only the first character separates
      {" ", "DMA", 0, "5/3/2024  "},    // a blank separator means the default
      {"", "", 0, "5/3/2024  "},
      {"/", "  ", 0, "5/3/2024  "},   // a blank order means the default
      {"/", "dma", 0, "          "},  // lower-case letters select nothing
      {"/", "AMD", 2, "2024 de març del 5"_cp850},
  };
  for (const Case& c : cases) {
    SetSetting("DatCaracter", c.separator);
    SetSetting("DatOrdre", c.order);
    EXPECT_EQ(FormatDate(date, c.style, "DMA"), c.expected) << c.separator << c.order;
  }
}

TEST_F(FormatDateTest, SettingsAreReadOncePerRun) {
  SetSetting("DatCaracter", "-");
  EXPECT_EQ(FormatDate(MakeDate(20240305), 0, "DMA"), "5-3-2024  ");
  settings_["DatCaracter"] = ".";  // not seen until the settings are forgotten
  EXPECT_EQ(FormatDate(MakeDate(20240305), 0, "DMA"), "5-3-2024  ");
  ForgetUserSettings();
  EXPECT_EQ(FormatDate(MakeDate(20240305), 0, "DMA"), "5.3.2024  ");
}

TEST(RealDateTest, OnlyDaysThatExist) {
  struct Case {
    std::string date;  // packed
    bool real;
  };
  const Case cases[] = {
      {MakeDate(20250305), true},
      {MakeDate(20240229), true},  // leap year
      {MakeDate(20250229), false},
      {MakeDate(19000229), false},  // Gregorian: not a leap year
      {MakeDate(15000229), true},   // Julian: every fourth year
      {MakeDate(15821004), true},   // the last Julian day
      {MakeDate(15821010), false},  // dropped by the reform
      {MakeDate(15821015), true},
      {MakeDate(20251301), false},
      {MakeDate(20250431), false},
      {MakeDate(20250100), false},
      {MakeDate(101), false},  // year 0
      {EmptyDate(), false},
      {std::string("\x94\x99\x83\xFF", 4), false},  // a byte that packs no digits
      {MakeDate(20250305).substr(0, 3), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsRealDate(c.date), c.real) << DateNumber(c.date);
  }
}

TEST(DateArithmeticTest, DateAdd) {
  struct Case {
    int32_t date;
    int32_t count;
    char unit;
    int32_t expected;
  };
  const Case cases[] = {
      {20240131, 1, 'M', 20240229},
      {20230131, 1, 'M', 20230228},
      {20230331, -1, 'M', 20230228},
      {20240331, -1, 'm', 20240229},
      {20240301, -1, 'D', 20240229},
      {20230301, -1, 'd', 20230228},
      {20241231, 1, 'D', 20250101},
      {20240101, -1, 'D', 20231231},
      {20240115, 14, 'M', 20250315},
      {20240115, -13, 'M', 20221215},
      {20240115, -12, 'M', 20230115},
      {20240229, 1, 'A', 20250228},
      {20240229, -4, 'A', 20200229},
      {20240305, 0, 'D', 20240305},
      {20240305, 5, 'X', 20240305},
      {19000228, 1, 'D', 19000301},  // 1900 is not a Gregorian leap year
      {15000228, 1, 'D', 15000229},  // 1500 is a Julian one
      {15000301, -1, 'D', 15000229},
      {15821004, 1, 'D', 15821005},  // the rule follows the start; no days are dropped
      {20000101, 1000000, 'D', 47371128},
      {20000101, -700000, 'D', 830619},
      {20240305, -36500, 'D', 19240330},
      {99991231, 1, 'D', 99991231},
      {20240101, 8000, 'A', 99991231},
      {20240101, INT32_MAX, 'D', 99991231},
      {20240101, INT32_MAX, 'M', 99991231},
      {20240101, INT32_MAX, 'A', 99991231},
      {20240101, INT32_MIN, 'D', 101},  // stops at the first day of year 0
      {20240101, INT32_MIN, 'A', 101},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateNumber(DateAdd(MakeDate(c.date), c.count, c.unit)), c.expected)
        << c.date << " " << c.count << c.unit;
  }
}

TEST(DateArithmeticTest, DateDiffIsSymmetric) {
  struct Case {
    int32_t a;
    int32_t b;
    char unit;
    int32_t expected;
  };
  const Case cases[] = {
      {20240229, 20250228, 'A', 0},   {20240301, 20250301, 'A', 1},
      {20240301, 20250228, 'a', 0},   {20240115, 20240115, 'D', 0},
      {20240101, 20250101, 'D', 366}, {20230101, 20240101, 'D', 365},
      {20240101, 20240301, 'D', 60},  {20240305, 20240310, 'D', 5},
      {20240228, 20250228, 'D', 366}, {19000101, 19010101, 'D', 365},
      {15000101, 15010101, 'D', 366},  // Julian leap year
      {15821004, 15821015, 'D', 11},   // the dropped days are not subtracted
      {15811231, 15830101, 'D', 366}, {19000101, 20000101, 'D', 36524},
      {20240131, 20240201, 'M', 1},   {20230115, 20240314, 'M', 14},
      {20240305, 20250305, 'Q', 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateDiff(MakeDate(c.a), MakeDate(c.b), c.unit), c.expected)
        << c.a << " " << c.b << c.unit;
    EXPECT_EQ(DateDiff(MakeDate(c.b), MakeDate(c.a), c.unit), c.expected)
        << c.b << " " << c.a << c.unit;
  }
}

TEST(DateArithmeticTest, AddThenDiffAgree) {
  for (const int32_t start : {15000101, 15820101, 19000228, 20240229, 20991231}) {
    for (const int32_t days : {1, 27, 365, 366, 1000, 40000}) {
      const Date later = DateAdd(MakeDate(start), days, 'D');
      EXPECT_EQ(DateDiff(MakeDate(start), later, 'D'), days) << start << "+" << days;
      // Going back from the other side of 1582 uses the other leap rule (1500 differs).
      if ((start < 15821005) == (DateNumber(later) < 15821005)) {
        EXPECT_EQ(DateAdd(later, -days, 'D'), MakeDate(start)) << start << "+" << days;
      }
    }
  }
}

TEST(DateArithmeticTest, Weekday) {
  struct Case {
    int32_t date;
    int weekday;
  };
  const Case cases[] = {
      {20240101, 1},
      {20240229, 4},
      {20000101, 6},
      {20260115, 4},
      {19000101, 1},
      {15821004, 4},
      {15821015, 5},
      {10101, 6},
      {20241231, 2},
      {20240303, 7},
      // Stored dates are not checked: the days from 1 January are counted in either direction,
      // as the difference of two dates always is.
      {20240100, 2},
      {20240005, 6},
  };
  for (const Case& c : cases) EXPECT_EQ(Weekday(MakeDate(c.date)), c.weekday) << c.date;
}

TEST(DateArithmeticTest, WeekdaysFollowEachOther) {
  Date date = MakeDate(20231225);
  for (int i = 0; i < 800; ++i) {
    const Date next = DateAdd(date, 1, 'D');
    EXPECT_EQ(Weekday(next), Weekday(date) % 7 + 1) << DateNumber(date);
    date = next;
  }
}

}  // namespace
}  // namespace quarnell
