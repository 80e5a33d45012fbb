#include "tools/qebprint/page_layout.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/qebprint/spool_reader.h"

namespace quarnell {
namespace {

// Keeps every page as text lines, with "*" marking bold, "_" underlined and "c" condensed cells
// on a line of attributes below each line that has any.
class RecordingSink : public PageSink {
 public:
  bool EmitPage(const Page& page) override {
    std::vector<std::string> lines;
    for (const auto& cells : page.lines) {
      std::string text, marks;
      for (const Cell& cell : cells) {
        text += static_cast<char>(cell.byte);
        marks += (cell.attributes & kCellBold)        ? '*'
                 : (cell.attributes & kCellUnderline) ? '_'
                 : (cell.attributes & kCellCondensed) ? 'c'
                                                      : ' ';
      }
      lines.push_back(text.substr(0, text.find_last_not_of(' ') + 1));
      if (marks.find_first_not_of(' ') != std::string::npos) {
        lines.push_back("@" + marks.substr(0, marks.find_last_not_of(' ') + 1));
      }
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    pages.push_back(lines);
    lengths.push_back(page.length);
    return true;
  }
  std::vector<std::vector<std::string>> pages;
  std::vector<int32_t> lengths;
};

RecordingSink Render(const std::string& spool) {
  std::istringstream in(spool);
  SpoolReader reader(in);
  RecordingSink sink;
  PageLayout layout(sink);
  SpoolInstruction instruction;
  while (reader.Next(&instruction)) layout.Apply(instruction);
  layout.Finish();
  return sink;
}

TEST(PageLayoutTest, PlacesTextsAsThePrinterWould) {
  struct Case {
    std::string name;
    std::string spool;
    std::vector<std::string> page;
  };
  const std::vector<Case> cases = {
      {"column 0 is column 1; later text overwrites", " 0 ,abcdef, 0 \n 3 ,XY, 1 \n", {"abXYef"}},
      {"centred on the column",
       "JUSC\n 10 ,abc  , 1 \n 10 ,abcd, 1 \n",
       {"        abc", "        abcd"}},
      {"leaders after the next text only",
       "JUSN 20 \\.\\\n 3 ,Total   , 0 \nJUSD\n 21 ,9, 1 \n 3 ,Next, 1 \n",
       {"  Total ............9", "  Next"}},
      {"leaders stop at the column and spare other text",
       " 12 ,X, 0 \nJUSN 15 \\-\\\n 1 ,ab, 1 \nJUSN 3 \\.\\\n 1 ,long text, 1 \n",
       {"ab --------X---", "long text"}},
      {"control bytes in texts print as blanks",
       " 1 ,a\tb\x01"
       "c, 1 \n",
       {"a b c"}},
      {"bold until plain",
       "JUSA\n 1 ,ab, 0 \n 4 ,c, 1 \nJUSE\n 1 ,d, 1 \n",
       {"ab c", "@** *", "d"}},
      {"underline toggles and @e resets",
       "*u\n 1 ,ab, 0 \n*u\n 4 ,c, 1 \n*u\n*@e\n 1 ,d, 1 \n",
       {"ab c", "@__", "d"}},
      {"condensed until reset", "*q\n 1 ,ab, 1 \n*@e\n 1 ,c, 1 \n", {"ab", "@cc", "c"}},
      {"unknown directives change nothing", "*zz\n 1 ,a, 1 \n", {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink = Render(c.spool);
    ASSERT_EQ(sink.pages.size(), 1u);
    EXPECT_EQ(sink.pages[0], c.page);
  }
}

TEST(PageLayoutTest, PagesBreakOnPageLinesAndOverflow) {
  // Text before any page line gets a page of 66; "PAGE 0 " too; a page that is full breaks
  // before the next text; an empty page that the report asked for is kept.
  RecordingSink sink = Render(
      " 1 ,a, 1 \n"
      "PAGE 2 \n 1 ,b, 1 \n 1 ,c, 1 \n 1 ,d, 5 \n 1 ,e, 0 \n"
      "PAGE 0 \nPAGE 3 \n 1 ,f, 999 \n 1 ,g, 999 \n 1 ,h, 0 \n");
  EXPECT_EQ(sink.lengths, (std::vector<int32_t>{66, 2, 2, 2, 66, 3, 3, 3}));
  EXPECT_EQ(sink.pages, (std::vector<std::vector<std::string>>{
                            {"a"}, {"b", "c"}, {"d"}, {"e"}, {}, {"f"}, {"g"}, {"h"}}));
}

TEST(PageLayoutTest, NothingToPrintGivesNoPage) {
  EXPECT_TRUE(Render("").pages.empty());
  EXPECT_TRUE(Render("DEVICEPDF\r\n*@e\r\nJUSD\r\n").pages.empty());
}

}  // namespace
}  // namespace quarnell
