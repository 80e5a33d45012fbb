#include "text/folding.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "text/cp850.h"
#include "text/dates.h"

namespace quarnell {
namespace {

class FoldTest : public ::testing::Test {
 protected:
  ~FoldTest() override { SetFoldMode(false); }
};

TEST_F(FoldTest, Examples) {
  SetFoldMode(true);
  EXPECT_TRUE(FoldMode());
  EXPECT_EQ(FoldText("Pàg. 1-Núñez"_cp850), "PAG. 1-NUNEZ");
  EXPECT_EQ(FoldText("[x]"), " X ");
  EXPECT_EQ(FoldText("@a{|}~"), " A    ");
  EXPECT_EQ(FoldText("Çà ı ø ß þ ÿ"_cp850), "CA E O S T Y");
  SetFoldMode(false);
  EXPECT_FALSE(FoldMode());
  EXPECT_EQ(FoldText("camí de l'església"_cp850), "CAMÍ DE L'ESGLÉSIA"_cp850);
  EXPECT_EQ(FoldText("[x]@"), "[X]@");
  EXPECT_EQ(FoldText("ÿøþ ß"_cp850), "ÿøþ ß"_cp850);  // no capital in the code page
}

// The accent-stripping table as listed by code; everything else from 64 to 237 is a blank.
TEST_F(FoldTest, StripTableByCode) {
  const std::map<char, std::vector<int>> letters = {
      {'C', {128, 135}},
      {'U', {129, 150, 151, 154, 163, 233, 234, 235}},
      {'E', {130, 136, 137, 138, 144, 210, 211, 212, 213}},
      {'A', {131, 132, 133, 134, 142, 143, 145, 146, 160, 166, 181, 182, 183, 198, 199}},
      {'I', {139, 140, 141, 161, 214, 215, 216, 222}},
      {'O', {147, 148, 149, 153, 155, 157, 162, 167, 224, 226, 227, 228, 229}},
      {'Y', {152, 236, 237}},
      {'N', {164, 165}},
      {'D', {208, 209}},
      {'S', {225}},
      {'T', {231, 232}},
  };
  std::string expected(256, '\0');
  for (int c = 0; c < 256; ++c) expected[c] = static_cast<char>(c);
  for (int c = 64; c <= 237; ++c) expected[c] = ' ';
  for (int c = 'A'; c <= 'Z'; ++c) expected[c] = static_cast<char>(c);
  for (int c = 'a'; c <= 'z'; ++c) expected[c] = static_cast<char>(c - 32);
  for (const auto& [letter, codes] : letters) {
    for (const int code : codes) expected[code] = letter;
  }
  std::string all(256, '\0');
  for (int c = 0; c < 256; ++c) all[c] = static_cast<char>(c);
  SetFoldMode(true);
  const std::string folded = FoldText(all);
  for (int c = 0; c < 256; ++c) EXPECT_EQ(folded[c], expected[c]) << "code " << c;
}

TEST_F(FoldTest, UpperTableByCode) {
  const std::vector<std::pair<int, int>> pairs = {
      {129, 154}, {130, 144}, {131, 182}, {132, 142}, {133, 183}, {134, 143}, {135, 128},
      {136, 210}, {137, 211}, {138, 212}, {139, 216}, {140, 215}, {141, 222}, {145, 146},
      {147, 226}, {148, 153}, {149, 227}, {150, 234}, {151, 235}, {160, 181}, {161, 214},
      {162, 224}, {163, 233}, {164, 165}, {198, 199}, {208, 209}, {228, 229}, {236, 237},
  };
  std::string expected(256, '\0');
  for (int c = 0; c < 256; ++c) expected[c] = static_cast<char>(c);
  for (int c = 'a'; c <= 'z'; ++c) expected[c] = static_cast<char>(c - 32);
  for (const auto& [small, capital] : pairs) expected[small] = static_cast<char>(capital);
  std::string all(256, '\0');
  for (int c = 0; c < 256; ++c) all[c] = static_cast<char>(c);
  SetFoldMode(false);
  const std::string folded = FoldText(all);
  for (int c = 0; c < 256; ++c) EXPECT_EQ(folded[c], expected[c]) << "code " << c;
}

TEST(DottedCodeTest, DottedToPacked) {
  struct Case {
    const char* text;
    const char* digits;
  };
  const Case cases[] = {
      {"430", "0430"},
      {"430000", "430000"},  // six characters without a point: a six-digit group
      {"430.12", "04300012"},
      {"430.12     ", "0004300012"},  // eleven characters, one point
      {"1.2.3", "000100020003"},
      {"1.2.3      ", "000100020003"},  // eleven characters but two points
      {"430. ", "0430"},                // a blank group ends the code
      {"430..5", "0430"},
      {"12345678", "5678"},  // the last digits are kept
      {"-430", "0430"},
      {" 43 0", "0430"},
      {"", "0000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnpackDigits(DottedToPacked(c.text)), c.digits) << c.text;
  }
}

TEST(DottedCodeTest, PackedToDotted) {
  struct Case {
    const char* digits;
    const char* text;
  };
  const Case cases[] = {
      {"043000120000", "430.12"},
      {"00000000", ""},
      {"430000", "430000"},
      {"0004300012", "430.12"},
      {"000100000002", "1.0.2"},
      {"00000005", "0.5"},
      {"0430", "430"},
      {"1234567890", "123456.7890"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PackedToDotted(PackDigits(c.digits)), c.text) << c.digits;
  }
  for (const char* code : {"430.12", "1.2.3", "123456.7890", "9999.9999.9999", "430000"}) {
    EXPECT_EQ(PackedToDotted(DottedToPacked(code)), code);
  }
}

TEST(TextUtilityTest, ReorderName) {
  struct Case {
    const char* stored;
    const char* reading;
  };
  const Case cases[] = {
      {"GARCIA LOPEZ*MARIA", "MARIA GARCIA LOPEZ"},
      {"ESTANY*L'", "L'ESTANY"},
      {"GARCIA  *  MARIA  ", "MARIA GARCIA"},
      {"  PLAIN NAME  ", "PLAIN NAME"},
      {"*STAR", "*STAR"},  // a star in the first place is part of the name
      // The parts are joined by a blank even when one of them is empty.
      {"GARCIA*    ", " GARCIA"},
      {" *MARIA", "MARIA "},
      {"A*B*C", "B*C A"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReorderName(c.stored), c.reading) << c.stored;
}

TEST(TextUtilityTest, IsAllChar) {
  EXPECT_TRUE(IsAllChar("", 32));
  EXPECT_TRUE(IsAllChar("   ", 32));
  EXPECT_FALSE(IsAllChar("  x", 32));
  EXPECT_FALSE(IsAllChar("x  ", 32));
  EXPECT_TRUE(IsAllChar("\xC4\xC4", 0xC4));
}

TEST(TextUtilityTest, TextStackIsLastInFirstOut) {
  const std::string long_text(70000, 'x');  // longer than a 16-bit length
  PushText("CAT");
  PushText("");
  PushText(long_text);
  PushText("SPA");
  EXPECT_EQ(PopText(), "SPA");
  EXPECT_EQ(PopText(), long_text);
  EXPECT_EQ(PopText(), "");
  EXPECT_EQ(PopText(), "CAT");
  EXPECT_EQ(PopText(), "");  // empty stack
}

}  // namespace
}  // namespace quarnell
