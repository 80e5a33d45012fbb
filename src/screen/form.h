// The screen forms of a program: its screens, their fields and its pick lists, as described by the
// program's form file ("FORMS\" + module name + ".JPN"), loaded once at start-up and kept for the
// run. Field entry (form_entry.h) runs them.
//
// The form file is a text file of items (config/item_reader.h; tab characters inside an item are
// dropped). Comment lines, whose first non-blank character is "'", may stand before each record:
//   header           number of screens, largest field count
//   each screen      key list (text), field count, linked screen, window top, left, bottom, right;
//                    then for each field: row, column, label (text), length, line width,
//                    option-text width, flags, type, browse number, option list (text)
//   browse count     one number
//   each browse      slots 0 to 6, title (text), slot 7
#ifndef QUARNELL_SCREEN_FORM_H_
#define QUARNELL_SCREEN_FORM_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "screen/console.h"
#include "screen/edit_line.h"

namespace quarnell {

// Field flags.
inline constexpr int16_t kFieldStartsEmpty = 1;  // entry starts from an empty text
inline constexpr int16_t kFieldHidden = 2;       // typed as a row of "X", never displayed
inline constexpr int16_t kFieldNotEditable = 4;  // passed over by entry
inline constexpr int16_t kFieldCursorAtEnd = 8;  // the cursor starts after the existing text

// Field types; any other value is free text.
inline constexpr int16_t kFieldDate = 1;
inline constexpr int16_t kFieldDottedCode = 2;

struct FormField {
  int16_t row = 0;  // of the label; relative to the screen's window when it has one
  int16_t column = 0;
  std::string label;  // translated; the entry area starts right after it
  int16_t length = 0;
  int16_t line_width = 0;    // 0: one line; else the value shows in lines this wide
  int16_t option_width = 0;  // extra display width for the text of an option
  int16_t flags = 0;
  int16_t type = 0;
  int16_t browse = 0;               // pick list offered by F4; 0 none
  std::string option_list;          // translated: "|code,text|code,text"
  std::vector<EditOption> options;  // the same, split
  std::string entry;                // the value: exactly `length` characters

  int EntryColumn() const { return column + static_cast<int>(label.size()); }
  bool Editable() const { return (flags & kFieldNotEditable) == 0; }
};

struct FormScreen {
  std::string key_list;  // hexadecimal key codes that end field entry ("d,1b,4800")
  int16_t linked = 0;    // screen entered from the last field; 0 none
  WindowRect window;     // top 0: no window of its own
  std::vector<FormField> fields;
};

// A pick list. The slots belong to the browse list: 0 file number, 1 key number, 2 to 5 the
// window's corners (top, left, bottom, right), 6 a screen to fill in first, 7 the list that F4
// switches to.
struct FormBrowse {
  std::array<int16_t, 8> slots{};
  std::string title;  // translated
};

struct FormDefinition {
  int16_t largest_field_count = 0;
  std::vector<FormScreen> screens;  // screen n is screens[n - 1]
  std::vector<FormBrowse> browses;  // list n is browses[n - 1]
};

// Reads a form file's bytes. Labels, option lists and titles stay as written (LoadForm translates
// them); entry texts are blanks. Returns false with *error naming the line and what is wrong when
// items are missing or not numbers, a count or size is out of range, a window or a pick list's
// window lies off the 25 x 80 screen, or a field names a linked screen or a pick list that does
// not exist. *form is then unspecified.
bool ParseForm(std::string_view bytes, FormDefinition* form, std::string* error);

// Splits an option list "|N,Account|F,Fiscal" (the last entry may end with "|" or not). Entries
// without a comma are skipped.
std::vector<EditOption> ParseOptionList(std::string_view list);

// Loads the form file at `path` (a program path, "FORMS\QUARNELL.JPN"), translates every label,
// option list and title (config/translate.h) and makes it the form of the run. A missing,
// unreadable or damaged file ends the program through ErrorStop with a message naming the file.
void LoadForm(std::string_view path);

// Makes `form` the form of the run as it is (tests, and LoadForm).
void SetForm(FormDefinition form);

// The form of the run (empty before LoadForm).
FormDefinition& Form();
int ScreenCount();
// REQUIRES: 1 <= screen <= ScreenCount(), 1 <= field <= the screen's field count.
FormScreen& ScreenAt(int screen);
FormField& FieldAt(int screen, int field);

// Stores `text` as the field's entry text: left-aligned, padded with blanks and cut to its length.
void SetEntryText(int screen, int field, std::string_view text);
// The field's entry text.
const std::string& EntryText(int screen, int field);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_FORM_H_
