// The one-line editor of field entry. It edits a fixed-width text in place and returns the key
// that ended the editing; which keys end it is the key set's business (key_input.h).
#ifndef QUARNELL_SCREEN_EDIT_LINE_H_
#define QUARNELL_SCREEN_EDIT_LINE_H_

#include <cstdint>
#include <span>
#include <string>

#include "screen/console.h"

namespace quarnell {

// One entry of a field's option list: the code stored in the field and the text shown for it.
struct EditOption {
  std::string code;
  std::string text;
  friend bool operator==(const EditOption&, const EditOption&) = default;
};

// Edits `text` (its length never changes) at (`row`, `column`), relative to the current window;
// 0 takes the cursor's row or column. `line_width` 0 shows the text on one line in a window one
// column wider than the text; otherwise the text shows in lines of `line_width` characters, one
// under the other. The cursor starts at `start`, clamped to 1 .. length + 1. Drawing is in
// attribute "u"; on return the attribute is "h", the area is redrawn in it and the cursor is at
// the entry position. `key` receives the key that ended the editor: a key of the key set as its
// delivered code (any key, unchanged, when the set is empty), or a mouse click outside the field.
//
// Without options: typed characters (32-126, 128-254) overwrite, or insert when the last
// character is a blank (Ins toggles, every call starts overwriting); Left, Right, Ctrl+Left,
// Ctrl+Right (words, separated by " ,.;:"), Home, End, Backspace, Del, Ctrl+Home and Ctrl+Y
// (blank the text), Up, Down and Shift+Tab between the lines of a multi-line text, Ctrl+C and
// Ctrl+V (clipboard.h), a click inside the field moves the cursor. With the echo character set
// (hidden fields) the text shows as a row of it.
//
// With options: the text holds the chosen option's code, the field shows its text between two
// marks; Right and the space bar choose the next option, Left the previous one, a typed
// character the next option whose text begins with it (accents and case folded).
//
// Other keys are translated (Shift+Tab Up, Tab Enter, Enter End when End is in the key set,
// Ctrl+F4 and Alt+F4 Esc) and then end the editor when the key set has them; the rest is ignored.
void EditLine(Console& console, int row, int column, int line_width, std::string& text, int start,
              int16_t& key, std::span<const EditOption> options = {});

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_EDIT_LINE_H_
