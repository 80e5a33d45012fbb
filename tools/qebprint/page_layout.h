// Turns spool instructions into pages of character cells, one page at a time: a finished page is
// handed to a PageSink and its storage reused, so memory does not grow with the report.
#ifndef QUARNELL_TOOLS_QEBPRINT_PAGE_LAYOUT_H_
#define QUARNELL_TOOLS_QEBPRINT_PAGE_LAYOUT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tools/qebprint/spool_reader.h"

namespace quarnell {

// Lines per page when the spool names no length (text before any page line, "PAGE 0 ").
inline constexpr int32_t kDefaultPageLength = 66;
// Text is clipped at this column: nothing wider fits on any paper.
inline constexpr int32_t kMaxRenderedColumn = 1000;

enum CellAttribute : uint8_t {
  kCellBold = 1,
  kCellUnderline = 2,
  kCellCondensed = 4,
};

// One printed position: a code page 850 byte (blank when empty) and its attributes.
struct Cell {
  uint8_t byte = ' ';
  uint8_t attributes = 0;
};

struct Page {
  int32_t number = 0;  // 1-based, counted over the whole spool file
  int32_t length = 0;  // lines on this page
  // lines[i] holds the cells of line i from column 1; a line is only as long as its last cell.
  std::vector<std::vector<Cell>> lines;
};

class PageSink {
 public:
  virtual ~PageSink() = default;
  // Renders one finished page. False stops the rendering (the sink keeps its own error).
  virtual bool EmitPage(const Page& page) = 0;
};

// The printer model:
// - A page line ends the page in progress and starts one of the given length. Text before any
//   page line opens a page of the default length; a text that finds the print head at or below
//   the page length starts a new page of the same length first, as the writer does.
// - A text line puts its text at its column (column 0 counts as 1) on the current line, then
//   moves the head down by the advance. Later text overwrites earlier text cell by cell.
// - Justification: one code is in force at a time, each replacing the last. "E" plain
//   left-aligned text. "A" bold. "C" centres the text on its column. "D" right alignment: the
//   report writes right-aligned fields such as amounts as fixed-width texts from their column (the
//   rule of hyphens at an amount's column stands under its digits), so the field keeps its columns
//   and its own padding aligns it; in a fixed-pitch rendition the text therefore stays where its
//   column puts it. "N n \c\" fills the space after the next text (from one blank past its last
//   non-blank character) with c up to column n, over blank cells only; it holds for that one text,
//   then plain text follows.
// - Directives: "@e" back to normal size with underlining off; "q" condensed print; "u" toggles
//   underlining. Other directives are ignored. The state carries over page breaks.
class PageLayout {
 public:
  explicit PageLayout(PageSink& sink) : sink_(sink) {}

  // Applies one instruction. False once the sink has failed; later calls do nothing.
  bool Apply(const SpoolInstruction& instruction);
  // Emits the page in progress, if any. False when the sink failed.
  bool Finish();
  // The same in the middle of a report, where a document ends: the next text opens a new page of
  // the default length unless a page line comes first.
  bool EndPage() { return Finish(); }

  int32_t pages_emitted() const { return pages_emitted_; }

 private:
  void StartPage(int32_t length);
  bool EmitCurrentPage();
  void PlaceText(int32_t column, std::string_view text);

  PageSink& sink_;
  Page page_;
  bool page_open_ = false;
  bool failed_ = false;
  int32_t current_line_ = 0;
  int32_t pages_emitted_ = 0;

  JustificationCode justification_ = JustificationCode::kLeft;
  int32_t leader_column_ = 0;
  uint8_t leader_fill_ = ' ';
  bool underline_ = false;
  bool condensed_ = false;
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_PAGE_LAYOUT_H_
