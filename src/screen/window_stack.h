// The window stack: every pop-up saves the screen rectangle it covers, with the cursor and the
// window that was current, in the file "WinPush.tmp" of the session directory, and puts it back
// when it closes. The file layout is fixed (other programs of the suite read it):
//
//   bytes 1-4   next-block position, 32-bit little-endian, 1-based (5 when the stack is empty)
//   blocks      oldest first, each: cursor row, cursor column, previous window top, left,
//               bottom, right, window top, left, bottom, right (two decimal digits each), the
//               cells row by row (character byte, attribute byte), the block length in five
//               decimal digits (20 + 2 x cells + 5)
#ifndef QUARNELL_SCREEN_WINDOW_STACK_H_
#define QUARNELL_SCREEN_WINDOW_STACK_H_

#include <string>

#include "screen/console.h"

namespace quarnell {

inline constexpr char kWindowStackFileName[] = "WinPush.tmp";

// Saves the rectangle from (top, left) to (bottom, right), screen coordinates, with the cursor and
// the current window, and makes the rectangle the current window (depth + 1). A rectangle not
// wholly on the screen, or upside down, saves nothing and changes nothing.
// The first push of a run (depth 0) replaces whatever file an interrupted program left behind.
// A stack file that cannot be written, or that is damaged, ends the program through ErrorStop
// naming the file.
void PushWindow(Console& console, int top, int left, int bottom, int right);

// Restores the most recently saved rectangle cell by cell, the cursor and the previous window,
// and removes the block; the pop that empties the stack deletes the file. Does nothing at depth 0.
// A missing, truncated or damaged file ends the program through ErrorStop naming the file; a
// garbled screen is never drawn from it.
void PopWindow(Console& console);

// Draws a frame on the border of the current window in the attribute in force and blanks its
// interior: style 0 blanks, 1 single line, 2 double line; any other style, or no window pushed,
// draws nothing.
void DrawFrame(Console& console, int style);

// The host path of the stack file the console uses.
std::string WindowStackFile(const Console& console);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_WINDOW_STACK_H_
