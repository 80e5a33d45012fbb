// Field entry on the screens of the form (form.h): showing a screen and its fields, the field loop
// that moves between fields by the keys the operator presses, the field checks, and the hooks
// through which the program accepts a screen and serves its pick lists.
//
// The program supplies its hooks once (SetFormHooks). The pick list itself (the browse list) is
// registered by whoever builds it (SetBrowseCall); until then F4 finds no list and rings the bell.
#ifndef QUARNELL_SCREEN_FORM_ENTRY_H_
#define QUARNELL_SCREEN_FORM_ENTRY_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "screen/console.h"
#include "screen/form.h"

namespace quarnell {

// What the program supplies to field entry and to the pick lists.
struct FormHooks {
  // AcceptForm(screen, key): called when the operator leaves `screen` with `key` (27 for Esc);
  // it may run another screen with the same key variable. 0 lets the screen end; anything else
  // puts the operator back on the screen's first editable field.
  std::function<int16_t(Console& console, int screen, int16_t& key)> accept_form;
  // BrowseLine(browse): the line a pick list shows for the record just read; empty leaves the
  // record out.
  std::function<std::string(int browse)> browse_line;
  // BrowsePick(browse, screen, field): the operator picked the record in the file's record area;
  // store what it means into the field (normally through CheckField). Setting `browse` to 0 asks
  // for the list to be opened again. The result is the field check's.
  std::function<int16_t(Console& console, int& browse, int screen, int field)> browse_pick;
  // BrowseStart(browse, from_key, to_key): the first and last key of the list, from the screen the
  // list ran first; 0 lets the list start.
  std::function<int16_t(int browse, std::string& from_key, std::string& to_key)> browse_start;
};

void SetFormHooks(FormHooks hooks);
const FormHooks& CurrentFormHooks();

// Runs pick list `browse` and returns its result: 0 when the operator picked a record (the record
// is in its file's record area), anything else when the list was left without a pick.
using BrowseCall = std::function<int16_t(Console& console, int browse)>;
void SetBrowseCall(BrowseCall call);

// Runs `screen` until the operator leaves it; `key` receives the key that ended it (27 Esc).
// A negative screen is the same screen entered as the linked screen of another. `back_flag` and
// `forward_flag` not 0 let PgUp on the first field and PgDn on the last leave the screen.
// A screen with a window saves what it covers and puts it back when it ends.
// REQUIRES: the form is loaded and |screen| is one of its screens.
void RunForm(Console& console, int screen, int back_flag, int forward_flag, int16_t& key);

// Draws the title (the session's `Titol`, centred on row 1), the labels and the fields.
void ShowScreen(Console& console, int screen);

// Draws one field's value at its entry position: a date in the display form, an option's text,
// a multi-line value in its lines, the text itself; a hidden field as blanks.
void ShowField(Console& console, int screen, int field);

// Checks `text` for `field` by its type (a blank date becomes the working date; dates and dotted
// codes must be valid) and, when it passes, stores it as the entry text and shows the field.
// Returns 0 when accepted, -1 when refused (the entry text is then unchanged). `key` is the key
// that ended the entry; it does not change the check.
int16_t CheckField(Console& console, int screen, std::string_view text, int field, int16_t key);

// Whether `text` is a value `field` can hold: a valid date (of a year the packed form can hold),
// a valid dotted code, one of the codes of an option list; any text for other fields. The blank
// date, which entry turns into the working date, does not fit.
bool EntryFits(int screen, int field, std::string_view text);

// The field being edited, while one is: its screen and number and the text as typed so far
// (screen 0 when none).
struct EntryState {
  int screen = 0;
  int field = 0;
  std::string text;
};
const EntryState& CurrentEntry();

// Forgets the screen last left with PgUp or PgDn and the entry state (tests; a new run).
void ResetFormEntry();

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_FORM_ENTRY_H_
