#include "tools/qebprint/text_renderer.h"

#include <array>

#include "text/cp850.h"

namespace quarnell {
namespace {

// The UTF-8 form of every code page 850 byte, built once.
const std::array<std::string, 256>& Utf8Table() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> result;
    for (int byte = 0; byte < 256; ++byte) {
      char c = static_cast<char>(byte);
      result[byte] = Cp850ToUtf8(std::string_view(&c, 1));
    }
    return result;
  }();
  return table;
}

// Cells that show nothing: blanks, unless underlined on a terminal.
bool IsEmptyCell(const Cell& cell, bool terminal) {
  return cell.byte == ' ' && !(terminal && (cell.attributes & kCellUnderline));
}

void AppendAttributes(std::string& out, uint8_t attributes) {
  out += "\x1b[0";
  if (attributes & kCellBold) out += ";1";
  if (attributes & kCellUnderline) out += ";4";
  out += 'm';
}

}  // namespace

void TextPageSink::AppendLine(const std::vector<Cell>& cells) {
  const bool terminal = style_ == Style::kTerminal;
  size_t end = cells.size();
  while (end > 0 && IsEmptyCell(cells[end - 1], terminal)) --end;
  const auto& utf8 = Utf8Table();
  uint8_t shown = 0;  // the terminal attributes in force
  for (size_t i = 0; i < end; ++i) {
    uint8_t wanted = cells[i].attributes & (kCellBold | kCellUnderline);
    if (terminal && wanted != shown) {
      AppendAttributes(buffer_, wanted);
      shown = wanted;
    }
    buffer_ += utf8[cells[i].byte];
  }
  if (shown != 0) buffer_ += "\x1b[0m";
  buffer_ += '\n';
}

bool TextPageSink::EmitPage(const Page& page) {
  buffer_.clear();
  if (!first_page_) {
    if (style_ == Style::kTerminal) {
      buffer_ += "\x1b[2m\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80 " + std::to_string(page.number) +
                 " \xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\x1b[0m\n";
    } else {
      buffer_ += '\f';
    }
  }
  first_page_ = false;
  size_t used = page.lines.size();
  const bool terminal = style_ == Style::kTerminal;
  auto empty = [terminal](const std::vector<Cell>& line) {
    for (const Cell& cell : line) {
      if (!IsEmptyCell(cell, terminal)) return false;
    }
    return true;
  };
  while (used > 0 && empty(page.lines[used - 1])) --used;
  for (size_t i = 0; i < used; ++i) AppendLine(page.lines[i]);
  return std::fwrite(buffer_.data(), 1, buffer_.size(), out_) == buffer_.size();
}

}  // namespace quarnell
