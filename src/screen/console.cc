#include "screen/console.h"

#include <cstdio>

#include "config/attributes.h"
#include "text/cp850.h"

namespace quarnell {

Console::Console(std::unique_ptr<Terminal> terminal) : terminal_(std::move(terminal)) {
  for (auto& row : grid_) row.fill(Cell{' ', AttributeInForce()});
}

Console::~Console() = default;

void Console::SetCursor(int row, int column) {
  if (depth_ > 0) {
    row += window_.top;
    column += window_.left;
  }
  SetCursorOnScreen(row, column);
}

void Console::SetCursorOnScreen(int row, int column) {
  cursor_.row = row;
  cursor_.column = column;
}

uint8_t Console::AttributeInForce() {
  ColourPair colours = CurrentColours();
  return static_cast<uint8_t>((colours.foreground & 0x0F) | ((colours.background & 0x0F) << 4));
}

bool Console::Writable(int row, int column) const {
  if (row < 1 || row > kScreenRows || column < 1 || column > kScreenColumns) return false;
  if (depth_ == 0) return true;
  return row >= window_.top && row <= window_.bottom && column >= window_.left &&
         column <= window_.right;
}

// One character at the cursor; the cursor moves on and wraps at the end of a screen line.
void Console::Put(uint8_t character, uint8_t attribute) {
  if (Writable(cursor_.row, cursor_.column)) {
    grid_[cursor_.row - 1][cursor_.column - 1] = Cell{character, attribute};
  }
  if (++cursor_.column > kScreenColumns && cursor_.row >= 1 && cursor_.row <= kScreenRows) {
    cursor_.column = 1;
    ++cursor_.row;
  }
}

void Console::Write(std::string_view text) {
  const uint8_t attribute = AttributeInForce();
  for (char c : text) Put(static_cast<uint8_t>(c), attribute);
}

void Console::WriteBlanks(int count) {
  const uint8_t attribute = AttributeInForce();
  for (int i = 0; i < count; ++i) Put(' ', attribute);
}

Cell Console::ReadCell(int row, int column) const {
  if (row < 1 || row > kScreenRows || column < 1 || column > kScreenColumns) return Cell{' ', 0};
  return grid_[row - 1][column - 1];
}

void Console::WriteCell(int row, int column, Cell cell) {
  if (row < 1 || row > kScreenRows || column < 1 || column > kScreenColumns) return;
  grid_[row - 1][column - 1] = cell;
}

void Console::Clear() {
  const Cell blank{' ', AttributeInForce()};
  for (auto& row : grid_) row.fill(blank);
  SetCursorOnScreen(1, 1);
}

void Console::ShowCursor() { cursor_.visible = true; }
void Console::HideCursor() { cursor_.visible = false; }
void Console::SetCursorShape(CursorShape shape) { cursor_.shape = shape; }

int16_t Console::WaitKey() {
  Refresh();
  return terminal_->ReadKey();
}

bool Console::KeyWaiting() {
  Refresh();
  return terminal_->KeyWaiting();
}

void Console::DiscardPendingKeys() { terminal_->DiscardPendingKeys(); }

void Console::Bell() {
  Refresh();
  terminal_->Bell();
}

void Console::Refresh() { terminal_->Show(grid_, cursor_); }

void Console::Suspend() {
  Refresh();
  terminal_->Suspend();
}

void Console::Resume() {
  terminal_->Resume();
  Refresh();
}

void Console::SetWindowState(const WindowRect& window, int depth) {
  window_ = window;
  depth_ = depth;
}

char32_t CellGlyph(uint8_t character) {
  if (character == kOptionMarkRight) return U'\u25BA';
  if (character == kOptionMarkLeft) return U'\u25C4';
  if (character < 0x20 || character == 0x7F) return U' ';
  return Cp850ToUnicode(character);
}

namespace {

// One row in UTF-8 without its trailing blanks. Control codes would garble a dump as they garble a
// terminal: they show as blanks.
std::string RowUtf8(const std::array<Cell, kScreenColumns>& row) {
  std::u32string characters;
  for (const Cell& cell : row) characters.push_back(CellGlyph(cell.character));
  characters.erase(characters.find_last_not_of(U' ') + 1);
  std::string utf8;
  for (char32_t c : characters) {
    if (c < 0x80) {
      utf8.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return utf8;
}

// "  1-20:07 21-80:70": the runs of equal attribute along one row.
std::string AttributeRuns(const std::array<Cell, kScreenColumns>& row) {
  std::string runs;
  int start = 0;
  for (int column = 1; column <= kScreenColumns; ++column) {
    if (column < kScreenColumns && row[column].attribute == row[start].attribute) continue;
    char run[24];
    std::snprintf(run, sizeof run, " %d-%d:%02X", start + 1, column, row[start].attribute);
    runs += run;
    start = column;
  }
  return " " + runs;
}

}  // namespace

std::string GridText(const ScreenGrid& grid, bool with_attributes) {
  std::string text;
  for (const auto& row : grid) {
    if (&row != &grid.front()) text += '\n';
    std::string line = RowUtf8(row);
    if (with_attributes) {
      // Pad by characters, not bytes: accented letters take two bytes in UTF-8.
      size_t characters = 0;
      for (char c : line) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      line.append(kScreenColumns - characters, ' ');
      line += AttributeRuns(row);
    }
    text += line;
  }
  return text;
}

std::string Console::Text(bool with_attributes) const { return GridText(grid_, with_attributes); }

std::string Console::RowText(int row) const {
  if (row < 1 || row > kScreenRows) return std::string();
  return RowUtf8(grid_[row - 1]);
}

}  // namespace quarnell
