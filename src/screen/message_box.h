// Message boxes: a text in a framed window in reverse video, centred on column 41 and placed by a
// screen row. The record-file layer's locked-file and fatal messages and the error stop use them.
#ifndef QUARNELL_SCREEN_MESSAGE_BOX_H_
#define QUARNELL_SCREEN_MESSAGE_BOX_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "screen/console.h"

namespace quarnell {

// The width of the message box's lines.
inline constexpr int kMessageLineWidth = 76;

// Lays `text` out in lines of exactly `width` characters (blank-padded), breaking between words;
// a word longer than a line is cut. Runs of blanks between words count as one break. Always at
// least one line (an empty text gives one blank line). REQUIRES: width > 0.
std::vector<std::string> LayOutText(std::string_view text, int width);

struct MessageBoxLayout {
  WindowRect box;
  std::vector<std::string> lines;  // kMessageLineWidth wide, printed without trailing blanks
};

// Where the box for `text` placed by `row` goes: top = row - (n + 1) / 2 - 2 (at least 1), n lines
// and the frame; moved up when it would pass the last row; columns centred on 41 and sized by the
// first line and every wider one. nullopt when the lines do not fit on the screen.
std::optional<MessageBoxLayout> LayOutMessageBox(std::string_view text, int row, int screen_rows);

// Shows `text` (code page 850) in a box placed by screen row `row`: saves the attributes, reverse
// video, PushWindow, single frame, the lines at window-relative rows 1 to n, column 2, attributes
// restored. The window stays until the caller calls PopWindow. A text too long for the screen
// shows nothing (and pushes nothing).
void ShowMessageBox(Console& console, std::string_view text, int row);

// Shows `text` in a box placed by `row` as ShowMessageBox does, sounds the bell when `bell`, drops
// the keys typed before the box appeared and waits for one key; then the box goes and the key is
// returned.
int16_t ShowMessageUntilKey(Console& console, std::string_view text, int row, bool bell = true);

// Draws the same box without saving what it covers: for the last message of a program that is
// ending, when the window stack itself may be what failed.
void DrawMessageBox(Console& console, std::string_view text, int row);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_MESSAGE_BOX_H_
