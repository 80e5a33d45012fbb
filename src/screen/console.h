// The text console every screen of the program draws on: a grid of 25 x 80 cells of a code page
// 850 character and a colour attribute, one cursor and one keyboard.
//
// `Console` holds the grid, the cursor and the window state and does all the drawing; the terminal
// behind it (`Terminal`) only shows the grid and delivers keys. Two terminals exist: the real one
// (curses) and the scripted one of the tests (memory_console.h). Screens,
// pop-ups and the window stack only ever see `Console`.
//
// Coordinates are 1-based, row 1 at the top. Output reaches the terminal at the next key wait,
// `KeyWaiting`, `Bell` or `Refresh`, so a screen drawn between two keys goes out in one piece.
#ifndef QUARNELL_SCREEN_CONSOLE_H_
#define QUARNELL_SCREEN_CONSOLE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quarnell {

inline constexpr int kScreenRows = 25;
inline constexpr int kScreenColumns = 80;

// One screen cell: the code page 850 character and the colour attribute (foreground in the low 4
// bits, background in the high 4 bits, colours 0 to 15 in the PC order: 0 black, 1 blue, 2
// green, 3 cyan, 4 red, 5 magenta, 6 brown, 7 light grey, 8 to 15 their bright forms).
struct Cell {
  uint8_t character = ' ';
  uint8_t attribute = 0x07;
  friend bool operator==(const Cell&, const Cell&) = default;
};

using ScreenGrid = std::array<std::array<Cell, kScreenColumns>, kScreenRows>;

// A rectangle of the screen in 1-based screen coordinates, corners included. All zero means none.
struct WindowRect {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
  friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// The cursor as the terminal should show it. Line is the normal (overwrite) cursor; block marks
// the insert state of field entry.
enum class CursorShape { kLine, kBlock };

struct CursorState {
  int row = 1;  // screen coordinates; may lie outside the grid after writing past its end
  int column = 1;
  bool visible = true;
  CursorShape shape = CursorShape::kLine;
};

// The two control codes a cell may hold that show as something: the marks either side of an option
// field, as the PC shows these codes (0x10 a triangle pointing right, 0x11 one pointing left).
inline constexpr uint8_t kOptionMarkRight = 0x10;
inline constexpr uint8_t kOptionMarkLeft = 0x11;

// The character a cell shows, in Unicode: its code page 850 character, the option marks as the
// triangles, other control codes (which would move a terminal's cursor) as a blank.
char32_t CellGlyph(uint8_t character);

// The grid as text: 25 lines in UTF-8, trailing blanks removed, joined with "\n". With attributes
// each line is padded to 80 columns and followed by its runs of equal attribute,
// "  1-20:07 21-60:70 61-80:07". Cells show as CellGlyph says.
std::string GridText(const ScreenGrid& grid, bool with_attributes = false);

// What a console needs of the terminal behind it.
class Terminal {
 public:
  virtual ~Terminal() = default;
  // Brings the terminal up to date with `grid` and `cursor`. The terminal keeps what it needs to
  // redraw by itself (after a resize) until the next call.
  virtual void Show(const ScreenGrid& grid, const CursorState& cursor) = 0;
  // Blocks until a key arrives and returns its key code (key_codes.h).
  virtual int16_t ReadKey() = 0;
  // True when a key can be read without waiting.
  virtual bool KeyWaiting() = 0;
  // Drops every key typed ahead.
  virtual void DiscardPendingKeys() = 0;
  virtual void Bell() = 0;
  // Hands the terminal to a child program (normal mode, cursor shown) and takes it back; Resume
  // redraws everything.
  virtual void Suspend() = 0;
  virtual void Resume() = 0;
};

class Console {
 public:
  // REQUIRES: terminal is not null.
  explicit Console(std::unique_ptr<Terminal> terminal);
  virtual ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // The size the screens are laid out for: always 25 rows and 80 columns (a larger terminal shows
  // the grid at its top-left corner).
  int Rows() const { return kScreenRows; }
  int Columns() const { return kScreenColumns; }

  // Positions the cursor. While a window is pushed (WindowDepth() > 0) the row and column are
  // relative: the current window's top is added to the row and its left to the column, so (1, 1)
  // is the cell just inside the window's top-left corner. Any value is accepted; output at a
  // position off the screen is dropped.
  void SetCursor(int row, int column);
  // The cursor in screen coordinates (never window-relative).
  int CursorRow() const { return cursor_.row; }
  int CursorColumn() const { return cursor_.column; }
  // Puts the cursor at screen coordinates, whatever window is current (the window stack uses it).
  void SetCursorOnScreen(int row, int column);

  // Writes `text` (code page 850) at the cursor in the attribute in force (SetAttribute) and moves
  // the cursor past it. Output wraps at the end of a screen line. Cells outside the screen, and
  // while a window is pushed cells outside the current window, are left as they are.
  void Write(std::string_view text);
  // Writes `count` blanks the same way.
  void WriteBlanks(int count);

  // The attribute byte that SetAttribute has put in force.
  static uint8_t AttributeInForce();

  // One cell in screen coordinates. Reading outside the screen gives a blank cell with attribute
  // 0; writing outside it does nothing.
  Cell ReadCell(int row, int column) const;
  void WriteCell(int row, int column, Cell cell);
  const ScreenGrid& Grid() const { return grid_; }

  // Blanks the whole screen in the attribute in force and puts the cursor at (1, 1) of the screen.
  void Clear();

  void ShowCursor();
  void HideCursor();
  void SetCursorShape(CursorShape shape);
  const CursorState& Cursor() const { return cursor_; }

  // Waits for the next key and returns its code: a character's code page 850 code, a key without
  // a character its scan code x 256, a mouse click -(column x 100 + row). The screen is brought
  // up to date first.
  int16_t WaitKey();
  // True when a key is waiting (WaitKey would not block); brings the screen up to date.
  bool KeyWaiting();
  // Drops every key already typed.
  void DiscardPendingKeys();
  void Bell();
  // Brings the terminal up to date now (a progress window during a long run).
  void Refresh();

  // Gives the terminal to a child program and takes it back afterwards, redrawn from the grid.
  void Suspend();
  void Resume();

  // The window state kept by the window stack (window_stack.h): the current window and the
  // number of saved windows. Depth 0 means no window: positions are screen positions.
  const WindowRect& CurrentWindow() const { return window_; }
  int WindowDepth() const { return depth_; }
  void SetWindowState(const WindowRect& window, int depth);

  // The host path of the window stack file; empty (the default) means "WinPush.tmp" in the
  // session directory, looked up at each push and pop.
  void SetWindowStackPath(std::string host_path) { window_stack_path_ = std::move(host_path); }
  const std::string& WindowStackPath() const { return window_stack_path_; }

  // The screen as text (GridText).
  std::string Text(bool with_attributes = false) const;
  // One row as text (UTF-8, trailing blanks removed); empty for a row off the screen.
  std::string RowText(int row) const;

 protected:
  Terminal& terminal() { return *terminal_; }

 private:
  bool Writable(int row, int column) const;
  void Put(uint8_t character, uint8_t attribute);

  std::unique_ptr<Terminal> terminal_;
  ScreenGrid grid_;
  CursorState cursor_;
  WindowRect window_;
  int depth_ = 0;
  std::string window_stack_path_;
};

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_CONSOLE_H_
