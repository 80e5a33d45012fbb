// The clipboard of field entry (Ctrl+C, Ctrl+V): the desktop's clipboard through wl-copy and
// wl-paste (Wayland) or xclip (X11) when the session has a display and the tool is installed;
// otherwise a clipboard held by the program for the run.
#ifndef QUARNELL_SCREEN_CLIPBOARD_H_
#define QUARNELL_SCREEN_CLIPBOARD_H_

#include <string>
#include <string_view>

namespace quarnell {

// The clipboard's text in code page 850 (characters the code page lacks become "?"). A desktop
// clipboard that does not answer within two seconds gives the empty text.
std::string ClipboardText();

// Puts `text` (code page 850) on the clipboard. The program's own clipboard always keeps a copy,
// so a paste still works when the desktop's tool fails.
void SetClipboardText(std::string_view text);

// true: only the program's own clipboard is used (tests; a session that must not touch the
// desktop's). false: the desktop's when there is one.
void UseProgramClipboardOnly(bool only);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_CLIPBOARD_H_
