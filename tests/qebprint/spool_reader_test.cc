#include "tools/qebprint/spool_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quarnell {
namespace {

TEST(ParseSpoolLineTest, WellFormedLines) {
  struct Case {
    std::string line;
    SpoolLineKind kind;
    std::string text;
    int32_t column, advance, page_length;
  };
  const std::vector<Case> cases = {
      {"DEVICEPDF", SpoolLineKind::kDevice, "PDF", 0, 0, 0},
      {"DEVICE  TXT:/tmp/a b.txt ", SpoolLineKind::kDevice, "TXT:/tmp/a b.txt", 0, 0, 0},
      {"DEVICE", SpoolLineKind::kDevice, "", 0, 0, 0},
      {"PAGE 66 ", SpoolLineKind::kPage, "", 0, 0, 66},
      {"PAGE 0 ", SpoolLineKind::kPage, "", 0, 0, 0},
      {"*@e", SpoolLineKind::kDirective, "@e", 0, 0, 0},
      {"*", SpoolLineKind::kDirective, "", 0, 0, 0},
      {" 69 ,-------------, 1 ", SpoolLineKind::kText, "-------------", 69, 1, 0},
      // Commas inside the text stay: the text runs from the first to the last comma.
      {" 14 ,Total, despeses, i IVA, 0 ", SpoolLineKind::kText, "Total, despeses, i IVA", 14, 0, 0},
      {" 0 ,, 7 ", SpoolLineKind::kText, "", 0, 7, 0},
      {"5,x,2", SpoolLineKind::kText, "x", 5, 2, 0},
      {" 999 ,x, 999 ", SpoolLineKind::kText, "x", 999, 999, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SpoolInstruction instruction;
    ASSERT_TRUE(ParseSpoolLine(c.line, &instruction));
    EXPECT_EQ(instruction.kind, c.kind);
    EXPECT_EQ(instruction.text, c.text);
    EXPECT_EQ(instruction.column, c.column);
    EXPECT_EQ(instruction.advance, c.advance);
    EXPECT_EQ(instruction.page_length, c.page_length);
  }
}

TEST(ParseSpoolLineTest, JustificationCodes) {
  struct Case {
    std::string line;
    JustificationCode code;
    int32_t leader_column;
    char fill;
  };
  const std::vector<Case> cases = {
      {"JUSD", JustificationCode::kRight, 0, ' '},
      {"JUSE", JustificationCode::kLeft, 0, ' '},
      {"JUSC", JustificationCode::kCentre, 0, ' '},
      {"JUSA", JustificationCode::kBold, 0, ' '},
      {"JUSb", JustificationCode::kBold, 0, ' '},
      {"JUSN 68 \\.\\", JustificationCode::kLeaders, 68, '.'},
      {"JUSN 3 \\A\\", JustificationCode::kLeaders, 3, 'A'},
      {"JUSN 68 ", JustificationCode::kLeaders, 68, ' '},
      {"JUSN 68 \\\\", JustificationCode::kLeaders, 68, ' '},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SpoolInstruction instruction;
    ASSERT_TRUE(ParseSpoolLine(c.line, &instruction));
    EXPECT_EQ(instruction.kind, SpoolLineKind::kJustification);
    EXPECT_EQ(instruction.justification, c.code);
    EXPECT_EQ(instruction.leader_column, c.leader_column);
    EXPECT_EQ(instruction.leader_fill, c.fill);
  }
}

TEST(ParseSpoolLineTest, DamagedLinesAreRejected) {
  const std::vector<std::string> lines = {
      "no commas at all",
      " 12 ,only one comma",
      "x,text, 1 ",              // column not a number
      " 1 ,text,one",            // advance not a number
      " 1 2 ,text, 1 ",          // two numbers
      "-1 ,text, 1 ",            // negative column
      " 1 ,text,-1 ",            // negative advance
      " 1000 ,text, 1 ",         // column past any paper
      " 1 ,text, 1000 ",         // advance past any page
      " 99999999999 ,text, 1 ",  // would overflow
      ",text, 1 ",               // empty column
      "PAGE",
      "PAGE -66 ",
      "PAGE 1000 ",
      "PAGE sixty",
      "JUS",
      "JUSX",
      "JUSN x \\.\\",
      "JUSN 5000 \\.\\",
      std::string("\x00\x01\x02,\xff\xfe,\x80", 7),
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    SpoolInstruction instruction;
    EXPECT_FALSE(ParseSpoolLine(line, &instruction));
  }
}

TEST(SpoolReaderTest, SkipsAndCountsDamageAndReadsEveryLineEnd) {
  std::string input =
      "DEVICEPDF\r\n"
      "PAGE 66 \n"  // a bare LF is accepted
      "garbage\r\n"
      "\r\n"  // an empty line is not damage
      + std::string(kMaxSpoolLineLength + 10, 'x') +
      ",y, 1 \r\n"     // too long
      " 1 ,last, 0 ";  // no line end
  std::istringstream stream(input);
  SpoolReader reader(stream);
  std::vector<SpoolLineKind> kinds;
  std::vector<std::string> texts;
  SpoolInstruction instruction;
  while (reader.Next(&instruction)) {
    kinds.push_back(instruction.kind);
    texts.emplace_back(instruction.text);
  }
  EXPECT_EQ(kinds, (std::vector<SpoolLineKind>{SpoolLineKind::kDevice, SpoolLineKind::kPage,
                                               SpoolLineKind::kText}));
  EXPECT_EQ(texts.back(), "last");
  EXPECT_EQ(reader.lines_read(), 6);
  EXPECT_EQ(reader.malformed_lines(), 2);
  EXPECT_EQ(reader.first_malformed_line(), 3);
}

}  // namespace
}  // namespace quarnell
