#include "screen/key_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>
#include <vector>

#include "screen/key_codes.h"

namespace quarnell {
namespace {

using KeyPair = KeySetPair;

struct KeyInputState {
  std::vector<KeyPair> keys;
  std::optional<std::vector<KeyPair>> saved;
  uint8_t echo = 0;
  std::string typeahead;
  std::optional<int16_t> held_key;  // the key that ended a run of Alt digits
  PopupCall calculator;
  PopupCall calendar;
  bool calculator_open = false;
  bool calendar_open = false;
};

KeyInputState& State() {
  static KeyInputState state;
  return state;
}

// One hexadecimal number of a key list; nullopt when the text is not one.
std::optional<int16_t> HexCode(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<int16_t>(static_cast<uint16_t>(value));
}

std::vector<KeyPair> ParseKeyList(std::string_view keys) {
  std::vector<KeyPair> pairs;
  while (!keys.empty()) {
    const size_t comma = keys.find(',');
    std::string_view item = keys.substr(0, comma);
    keys = comma == std::string_view::npos ? std::string_view() : keys.substr(comma + 1);
    const size_t equals = item.find('=');
    std::optional<int16_t> key = HexCode(item.substr(0, equals));
    std::optional<int16_t> delivered =
        equals == std::string_view::npos ? key : HexCode(item.substr(equals + 1));
    if (key && delivered) pairs.push_back({*key, *delivered});
  }
  return pairs;
}

std::vector<KeyPair>::iterator Find(std::vector<KeyPair>& set, int16_t key) {
  return std::find_if(set.begin(), set.end(), [key](const KeyPair& p) { return p.key == key; });
}

void AddKeys(std::vector<KeyPair>& set, const std::vector<KeyPair>& pairs) {
  for (const KeyPair& pair : pairs) {
    auto found = Find(set, pair.key);
    if (found != set.end()) {
      found->delivered = pair.delivered;
    } else {
      set.push_back(pair);
    }
  }
}

void RemoveKeys(std::vector<KeyPair>& set, const std::vector<KeyPair>& pairs) {
  for (const KeyPair& pair : pairs) {
    auto found = Find(set, pair.key);
    if (found != set.end()) set.erase(found);
  }
}

// The digit a keypad key gives while Alt is held, -1 for any other key. The cursor pad of the
// keypad (NumLock off) arrives as Alt with Ins, End, Down, PgDn, Left, the centre key, Right,
// Home, Up, PgUp; with NumLock on a terminal sends the digits themselves, which arrive as
// Alt+0 to Alt+9.
int AltKeypadDigit(int16_t key) {
  static constexpr std::array<uint16_t, 10> kAltKeypad = {0xA200, 0x9F00, 0xA000, 0xA100, 0x9B00,
                                                          0x9C00, 0x9D00, 0x9700, 0x9800, 0x9900};
  const uint16_t code = static_cast<uint16_t>(key);
  for (int digit = 0; digit < 10; ++digit) {
    if (code == kAltKeypad[digit]) return digit;
  }
  if (code >= 0x7800 && code <= 0x8000 && (code & 0xFF) == 0) return ((code >> 8) - 0x78) + 1;
  if (code == 0x8100) return 0;
  return -1;
}

// The next key from the keyboard, digits typed with Alt folded into one character code.
int16_t KeyboardKey(Console& console) {
  KeyInputState& state = State();
  if (state.held_key) return *std::exchange(state.held_key, std::nullopt);
  int16_t key = console.WaitKey();
  int digit = AltKeypadDigit(key);
  if (digit < 0) return key;
  int value = 0;
  while (digit >= 0) {
    value = (value * 10 + digit) % 256;
    key = console.WaitKey();
    digit = AltKeypadDigit(key);
  }
  state.held_key = key;
  return static_cast<int16_t>(value);
}

// Runs a pop-up unless it is open already (the calculator cannot be opened from inside itself)
// and types its result.
void OpenPopup(Console& console, const PopupCall& call, bool& open) {
  if (!call || open) return;
  open = true;
  std::string result = call(console);
  open = false;
  State().typeahead = std::move(result);
}

}  // namespace

void SetKeySet(std::string_view mode, std::string_view keys) {
  KeyInputState& state = State();
  for (char letter : mode) {
    switch (letter) {
      case 'e':
      case 'E':
        state.keys.clear();
        break;
      case 'a':
      case 'A':
        AddKeys(state.keys, ParseKeyList(keys));
        break;
      case 'd':
      case 'D':
        RemoveKeys(state.keys, ParseKeyList(keys));
        break;
      case '+':
        if (!state.saved) state.saved = state.keys;
        break;
      case '-':
        if (state.saved) state.keys = *std::exchange(state.saved, std::nullopt);
        break;
      case 'h':
      case 'H':
        state.echo = 'X';
        break;
      case 'v':
      case 'V':
        state.echo = 0;
        break;
      default:
        break;
    }
  }
}

SavedKeySet SaveKeySet() { return SavedKeySet{State().keys, State().saved}; }

void RestoreKeySet(const SavedKeySet& saved) {
  State().keys = saved.keys;
  State().saved = saved.copy;
}

std::optional<int16_t> KeySetDelivers(int16_t key) {
  std::vector<KeyPair>& set = State().keys;
  auto found = Find(set, key);
  if (found == set.end()) return std::nullopt;
  return found->delivered;
}

bool KeySetEmpty() { return State().keys.empty(); }

uint8_t EchoCharacter() { return State().echo; }

void SetTypeahead(std::string_view text) { State().typeahead = std::string(text); }

const std::string& Typeahead() { return State().typeahead; }

int16_t ReadEntryKey(Console& console) {
  KeyInputState& state = State();
  if (!state.typeahead.empty()) {
    const uint8_t character = static_cast<uint8_t>(state.typeahead.front());
    state.typeahead.erase(0, 1);
    return character;
  }
  const int16_t key = KeyboardKey(console);
  if (key == kKeyAltX) OpenPopup(console, state.calculator, state.calculator_open);
  if (key == kKeyAltC) OpenPopup(console, state.calendar, state.calendar_open);
  return key;
}

void SetCalculatorCall(PopupCall call) { State().calculator = std::move(call); }

void SetCalendarCall(PopupCall call) { State().calendar = std::move(call); }

void ResetKeyInput() {
  KeyInputState& state = State();
  state.keys.clear();
  state.saved.reset();
  state.echo = 0;
  state.typeahead.clear();
  state.held_key.reset();
  state.calculator_open = false;
  state.calendar_open = false;
}

}  // namespace quarnell
