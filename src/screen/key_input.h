// Key input of field entry and of the pop-ups: the key set that decides which keys end an entry,
// its one saved copy, the echo character of hidden fields, the typeahead text that a pop-up's
// result is typed from, Alt with the keypad digits, and the seams through which Alt+X and Alt+C
// open the calculator and the calendar.
//
// The state is one per program, like the screen: field entry, the pick list, the calculator and
// the calendar all change the key set and put back what they found (mode "+..." on entry, "-" on
// leaving).
#ifndef QUARNELL_SCREEN_KEY_INPUT_H_
#define QUARNELL_SCREEN_KEY_INPUT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "screen/console.h"

namespace quarnell {

// Changes the key set. `keys` lists items separated by commas, each a hexadecimal key code
// optionally followed by "=" and the hexadecimal code the key is delivered as ("d,1b,4800=d");
// items that are not hexadecimal are skipped. The letters of `mode`, in either case, act in order:
//   E empty the set; A add the listed keys (a key already there takes the new delivered code);
//   D remove the listed keys; + save the set (one copy: a second "+" while one is held is
//   ignored); - restore the saved set and drop the copy (nothing when none is held);
//   H echo "X" for typed characters; V echo what is typed.
// Other letters are ignored.
void SetKeySet(std::string_view mode, std::string_view keys = {});

// One key of the key set and the code it is delivered as.
struct KeySetPair {
  int16_t key;
  int16_t delivered;
  friend bool operator==(const KeySetPair&, const KeySetPair&) = default;
};

// The key set with its saved copy, as a pop-up finds it. The one saved copy belongs to the field
// that opened the pop-up, so a pop-up cannot save with "+" and restore with "-" without putting
// back the set from before the field; it takes this and puts it back whole when it leaves.
struct SavedKeySet {
  std::vector<KeySetPair> keys;
  std::optional<std::vector<KeySetPair>> copy;
  friend bool operator==(const SavedKeySet&, const SavedKeySet&) = default;
};
SavedKeySet SaveKeySet();
void RestoreKeySet(const SavedKeySet& saved);

// The code `key` is delivered as when it is in the key set; nullopt when it is not.
std::optional<int16_t> KeySetDelivers(int16_t key);
bool KeySetEmpty();

// 0 when typed characters show as typed; otherwise the character shown in their place.
uint8_t EchoCharacter();

// Text to be delivered as keys, one character code at a time, before the keyboard is read again.
void SetTypeahead(std::string_view text);
const std::string& Typeahead();

// The next key of field entry (and of every pop-up that reads keys):
// 1. the first character of the typeahead text, when there is one;
// 2. else the next key of the console. Keypad keys that arrive with Alt (Alt+Ins, Alt+End,
//    Alt+Down, Alt+PgDn, Alt+Left, Alt+Right, Alt+Home, Alt+Up, Alt+PgUp for 0 to 9 without the
//    centre key, and Alt+0 to Alt+9 from a keypad in NumLock) are collected as decimal digits;
//    the first other key delivers their number modulo 256 as a character code, and is itself
//    delivered by the next call (a terminal reports no release of Alt);
// 3. Alt+X opens the calculator and Alt+C the calendar, through the calls registered below,
//    unless that pop-up is open already; the text it returns becomes the typeahead text. The
//    Alt+X or Alt+C itself is then delivered like any other key.
int16_t ReadEntryKey(Console& console);

// A pop-up that returns a text to be typed into the field (the empty text: nothing).
using PopupCall = std::function<std::string(Console& console)>;
// Registers the calculator (Alt+X) and the calendar (Alt+C); empty: the key opens nothing.
void SetCalculatorCall(PopupCall call);
void SetCalendarCall(PopupCall call);

// Back to the start of a run: empty key set, no saved copy, echo off, no typeahead, no digits
// collected, pop-ups registered kept. Tests use it between cases.
void ResetKeyInput();

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_KEY_INPUT_H_
