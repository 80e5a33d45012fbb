// The text rendition of a report: UTF-8 lines, trailing blanks dropped, pages separated by a form
// feed. For the screen the same text carries terminal attributes (bold, underline) and a rule
// between pages instead of the form feed, for a pager that passes them through (less -R).
#ifndef QUARNELL_TOOLS_QEBPRINT_TEXT_RENDERER_H_
#define QUARNELL_TOOLS_QEBPRINT_TEXT_RENDERER_H_

#include <cstdio>
#include <string>

#include "tools/qebprint/page_layout.h"

namespace quarnell {

class TextPageSink : public PageSink {
 public:
  enum class Style { kPlain, kTerminal };

  // Writes to `out` (not owned).
  TextPageSink(std::FILE* out, Style style) : out_(out), style_(style) {}

  // False when writing failed (errno tells why).
  bool EmitPage(const Page& page) override;

 private:
  void AppendLine(const std::vector<Cell>& cells);

  std::FILE* out_;
  Style style_;
  bool first_page_ = true;
  std::string buffer_;  // one page, reused
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_TEXT_RENDERER_H_
