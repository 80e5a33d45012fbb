// The pop-ups that field entry opens: the calculator on Alt+X, the calendar on Alt+C and the pick
// lists of the form file on F4.
#ifndef QUARNELL_SCREEN_POPUPS_H_
#define QUARNELL_SCREEN_POPUPS_H_

namespace quarnell {

// Registers the pop-ups with the key input (key_input.h) and the field entry (form_entry.h) of
// the forms. The interactive program calls it once at start-up.
void InstallPopups();

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_POPUPS_H_
