#include "tools/qebprint/page_layout.h"

#include <algorithm>

namespace quarnell {
namespace {

bool IsControlByte(uint8_t byte) { return byte < 32 || byte == 127 || byte == 255; }

}  // namespace

void PageLayout::StartPage(int32_t length) {
  page_.number = pages_emitted_ + 1;
  page_.length = length > 0 ? length : kDefaultPageLength;
  // Keep the lines' storage from page to page; only their contents go.
  if (page_.lines.size() > static_cast<size_t>(page_.length)) page_.lines.resize(page_.length);
  for (auto& line : page_.lines) line.clear();
  page_.lines.resize(page_.length);
  page_open_ = true;
  current_line_ = 0;
}

bool PageLayout::EmitCurrentPage() {
  if (!page_open_) return true;
  page_open_ = false;
  if (!sink_.EmitPage(page_)) {
    failed_ = true;
    return false;
  }
  ++pages_emitted_;
  return true;
}

bool PageLayout::Apply(const SpoolInstruction& instruction) {
  if (failed_) return false;
  switch (instruction.kind) {
    case SpoolLineKind::kDevice:
      break;  // only the first line's device counts; the program has read it already
    case SpoolLineKind::kPage:
      if (!EmitCurrentPage()) return false;
      StartPage(instruction.page_length);
      break;
    case SpoolLineKind::kJustification:
      justification_ = instruction.justification;
      leader_column_ = instruction.leader_column;
      leader_fill_ = static_cast<uint8_t>(instruction.leader_fill);
      if (IsControlByte(leader_fill_)) leader_fill_ = ' ';
      break;
    case SpoolLineKind::kDirective:
      if (instruction.text == "@e") {
        underline_ = false;
        condensed_ = false;
      } else if (instruction.text == "q") {
        condensed_ = true;
      } else if (instruction.text == "u") {
        underline_ = !underline_;
      }
      break;
    case SpoolLineKind::kText:
      if (!page_open_) {
        StartPage(kDefaultPageLength);
      } else if (current_line_ >= page_.length) {
        int32_t length = page_.length;
        if (!EmitCurrentPage()) return false;
        StartPage(length);
      }
      PlaceText(instruction.column, instruction.text);
      // Anything at or past the page length only means "next text on a new page"; holding the
      // head there keeps a long run of advances from counting without bound.
      current_line_ = std::min(current_line_ + instruction.advance, page_.length);
      break;
  }
  return true;
}

bool PageLayout::Finish() {
  if (failed_) return false;
  return EmitCurrentPage();
}

void PageLayout::PlaceText(int32_t column, std::string_view text) {
  uint8_t attributes = 0;
  if (justification_ == JustificationCode::kBold) attributes |= kCellBold;
  if (underline_) attributes |= kCellUnderline;
  if (condensed_) attributes |= kCellCondensed;

  int32_t length = static_cast<int32_t>(text.size());
  int32_t start = std::max(column, 1);
  if (justification_ == JustificationCode::kCentre) {
    size_t last = text.find_last_not_of(' ');
    int32_t visible = last == std::string_view::npos ? 0 : static_cast<int32_t>(last) + 1;
    start = std::max(1, start - (visible - 1) / 2);
  }

  std::vector<Cell>& line = page_.lines[current_line_];
  auto put = [&line](int32_t at, uint8_t byte, uint8_t cell_attributes) {
    if (at > kMaxRenderedColumn) return;
    if (line.size() < static_cast<size_t>(at)) line.resize(at);
    line[at - 1] = Cell{byte, cell_attributes};
  };
  int32_t last_visible = 0;  // column of the text's last non-blank byte
  for (int32_t i = 0; i < length; ++i) {
    uint8_t byte = static_cast<uint8_t>(text[i]);
    if (IsControlByte(byte)) byte = ' ';
    put(start + i, byte, attributes);
    if (byte != ' ') last_visible = start + i;
  }

  if (justification_ == JustificationCode::kLeaders) {
    int32_t from = last_visible == 0 ? start : last_visible + 2;
    int32_t to = std::min(leader_column_, kMaxRenderedColumn);
    for (int32_t at = from; at <= to; ++at) {
      if (static_cast<size_t>(at) <= line.size() && line[at - 1].byte != ' ') continue;
      put(at, leader_fill_, attributes);
    }
    justification_ = JustificationCode::kLeft;
  }
}

}  // namespace quarnell
