// The pop-ups that field entry opens: the calculator on Alt+X and the calendar on Alt+C.
#ifndef QUARNELL_SCREEN_POPUPS_H_
#define QUARNELL_SCREEN_POPUPS_H_

namespace quarnell {

// Registers the pop-ups with the key input of field entry (key_input.h). The interactive program
// calls it once at start-up.
void InstallPopups();

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_POPUPS_H_
