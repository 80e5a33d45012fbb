#include "text/cp850.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace quarnell {
namespace {

// The literal converts at compile time and yields code page 850 bytes.
constexpr std::string_view kTitle = "COMPTE D'EXPLOTACIÓ"_cp850;
static_assert(kTitle.size() == 19 && kTitle.back() == '\xE0');
static_assert(""_cp850.empty());

TEST(Cp850Test, LiteralsYieldCodePageBytes) {
  EXPECT_EQ(std::string("àéíòóú"_cp850), "\x85\x82\xA1\x95\xA2\xA3");
  EXPECT_EQ(std::string("ÇüÑ·ª"_cp850), "\x80\x81\xA5\xFA\xA6");
  EXPECT_EQ(std::string("┌─┐"_cp850), "\xDA\xC4\xBF");
  const std::string joined = std::string("P") + "àg. 1"_cp850;
  EXPECT_EQ(joined, "P\x85g. 1");
  EXPECT_TRUE("març"_cp850 == std::string_view("mar\x87"));
}

TEST(Cp850Test, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::optional<std::string> back = Utf8ToCp850(Cp850ToUtf8(all));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
  for (int b = 0; b < 256; ++b) {
    const char32_t u = Cp850ToUnicode(static_cast<unsigned char>(b));
    EXPECT_EQ(UnicodeToCp850(u), static_cast<unsigned char>(b)) << b;
  }
}

TEST(Cp850Test, KnownCharacters) {
  struct Case {
    int byte;
    char32_t unicode;
  };
  const Case cases[] = {{0x41, U'A'},   {0x80, 0x00C7}, {0x87, 0x00E7}, {0x9C, 0x00A3},
                        {0x9F, 0x0192}, {0xB3, 0x2502}, {0xC4, 0x2500}, {0xD5, 0x0131},
                        {0xDB, 0x2588}, {0xE1, 0x00DF}, {0xF2, 0x2017}, {0xFE, 0x25A0},
                        {0xFF, 0x00A0}};
  for (const Case& c : cases) {
    EXPECT_EQ(Cp850ToUnicode(static_cast<unsigned char>(c.byte)), c.unicode) << c.byte;
  }
  EXPECT_EQ(UnicodeToCp850(0x20AC), std::nullopt);  // euro sign
  EXPECT_EQ(UnicodeToCp850(0x0100), std::nullopt);
  EXPECT_EQ(UnicodeToCp850(0x00C0), 0xB7);
}

TEST(Cp850Test, Utf8ErrorsGiveTheirOffset) {
  struct Case {
    std::string_view text;
    std::optional<size_t> bad_offset;
  };
  const Case cases[] = {
      {"plain", std::nullopt},
      {"a\xC3\xA9z", std::nullopt},
      {"a\xE2\x82\xAC"
       "b",
       1},                      // the euro sign is not in the code page
      {"\xC3", 0},              // cut short
      {"ab\xC3\x28", 2},        // bad continuation byte
      {"\xC0\xAF", 0},          // overlong form
      {"x\xED\xA0\x80", 1},     // surrogate
      {"\xF4\x90\x80\x80", 0},  // beyond Unicode
      {"\xFF", 0},
  };
  for (const Case& c : cases) {
    size_t offset = 999;
    const std::optional<std::string> result = Utf8ToCp850(c.text, &offset);
    EXPECT_EQ(result.has_value(), !c.bad_offset.has_value()) << c.text;
    if (c.bad_offset) {
      EXPECT_EQ(offset, *c.bad_offset) << c.text;
    }
  }
  EXPECT_FALSE(Utf8ToCp850("\xC3").has_value());  // no offset wanted
}

}  // namespace
}  // namespace quarnell
