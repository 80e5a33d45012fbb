#include "screen/key_decoder.h"

#include <array>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "screen/console.h"
#include "screen/key_codes.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

// A key without a character and its scan codes alone and with Shift, Ctrl and Alt, as the PC
// keyboard gives them. Shift on the cursor keys changes nothing there.
struct ScanCodes {
  uint8_t plain, shift, ctrl, alt;
};

enum KeyName {
  kF1,
  kF2,
  kF3,
  kF4,
  kF5,
  kF6,
  kF7,
  kF8,
  kF9,
  kF10,
  kF11,
  kF12,
  kHome,
  kUp,
  kPageUp,
  kLeft,
  kRight,
  kEnd,
  kDown,
  kPageDown,
  kInsert,
  kDelete,
  kNoKey
};

constexpr std::array<ScanCodes, kNoKey> kScanCodes = {{
    {0x3B, 0x54, 0x5E, 0x68}, {0x3C, 0x55, 0x5F, 0x69}, {0x3D, 0x56, 0x60, 0x6A},
    {0x3E, 0x57, 0x61, 0x6B}, {0x3F, 0x58, 0x62, 0x6C}, {0x40, 0x59, 0x63, 0x6D},
    {0x41, 0x5A, 0x64, 0x6E}, {0x42, 0x5B, 0x65, 0x6F}, {0x43, 0x5C, 0x66, 0x70},
    {0x44, 0x5D, 0x67, 0x71}, {0x85, 0x87, 0x89, 0x8B}, {0x86, 0x88, 0x8A, 0x8C},
    {0x47, 0x47, 0x77, 0x97}, {0x48, 0x48, 0x8D, 0x98}, {0x49, 0x49, 0x84, 0x99},
    {0x4B, 0x4B, 0x73, 0x9B}, {0x4D, 0x4D, 0x74, 0x9D}, {0x4F, 0x4F, 0x75, 0x9F},
    {0x50, 0x50, 0x91, 0xA0}, {0x51, 0x51, 0x76, 0xA1}, {0x52, 0x52, 0x92, 0xA2},
    {0x53, 0x53, 0x93, 0xA3},
}};

// Modifier bits as xterm counts them in its parameter (the parameter is 1 + these bits).
constexpr int kShift = 1;
constexpr int kAlt = 2;
constexpr int kCtrl = 4;

int KeyCode(KeyName name, int modifiers) {
  const ScanCodes& codes = kScanCodes[name];
  uint8_t scan = codes.plain;
  if (modifiers & kCtrl) {
    scan = codes.ctrl;
  } else if (modifiers & kAlt) {
    scan = codes.alt;
  } else if (modifiers & kShift) {
    scan = codes.shift;
  }
  return scan * 256;
}

// The number after "ESC [" in "ESC [ n ~" sequences.
KeyName TildeKey(int number) {
  switch (number) {
    case 1:
    case 7:
      return kHome;
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 4:
    case 8:
      return kEnd;
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 11:
      return kF1;
    case 12:
      return kF2;
    case 13:
      return kF3;
    case 14:
      return kF4;
    case 15:
      return kF5;
    case 17:
      return kF6;
    case 18:
      return kF7;
    case 19:
      return kF8;
    case 20:
      return kF9;
    case 21:
      return kF10;
    case 23:
      return kF11;
    case 24:
      return kF12;
    default:
      return kNoKey;
  }
}

// The final letter of "ESC [ 1 ; m X" and "ESC O X" sequences.
KeyName LetterKey(uint8_t letter) {
  switch (letter) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
      return kF1;
    case 'Q':
      return kF2;
    case 'R':
      return kF3;
    case 'S':
      return kF4;
    default:
      return kNoKey;
  }
}

// The scan code of Alt with a letter, digit, "-" or "=", 0 for other characters.
int AltScanCode(uint8_t byte) {
  static constexpr std::string_view kLetters = "QWERTYUIOPASDFGHJKLZXCVBNM";
  static constexpr uint8_t kLetterCodes[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
                                             0x19, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25,
                                             0x26, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32};
  if (byte >= 'a' && byte <= 'z') byte = static_cast<uint8_t>(byte - 'a' + 'A');
  size_t letter = kLetters.find(static_cast<char>(byte));
  if (letter != std::string_view::npos) return kLetterCodes[letter];
  if (byte >= '1' && byte <= '9') return 0x78 + (byte - '1');
  if (byte == '0') return 0x81;
  if (byte == '-') return 0x82;
  if (byte == '=') return 0x83;
  return 0;
}

// The numbers of a CSI parameter text "1;5" (missing ones are 0).
std::vector<int> Parameters(std::string_view text) {
  std::vector<int> numbers(1, 0);
  for (char c : text) {
    if (c == ';') {
      numbers.push_back(0);
    } else if (c >= '0' && c <= '9' && numbers.back() < 100000) {
      numbers.back() = numbers.back() * 10 + (c - '0');
    }
  }
  return numbers;
}

// Modifier bits from the second parameter of "ESC [ 1 ; m X" (1 or absent: none).
int Modifiers(const std::vector<int>& parameters) {
  if (parameters.size() < 2 || parameters[1] < 2) return 0;
  return (parameters[1] - 1) & (kShift | kAlt | kCtrl);
}

// Parameters beyond this length are dropped; the sequence still ends at its final byte.
constexpr size_t kLongestSequence = 32;

}  // namespace

void KeyDecoder::Feed(uint8_t byte) {
  switch (state_) {
    case State::kGround:
      Ground(byte);
      break;
    case State::kEscape:
      Escape(byte);
      break;
    case State::kCsi:
      Csi(byte);
      break;
    case State::kSs3: {
      state_ = State::kGround;
      KeyName name = LetterKey(byte);
      const int alt = alt_prefix_ ? kAlt : 0;
      if (name != kNoKey) {
        Emit(KeyCode(name, alt));
      } else if (byte == 'M') {
        Emit(kKeyEnter);  // Enter of the keypad in application mode
      } else if (byte >= 'a' && byte <= 'd') {
        // rxvt's Ctrl with the arrows
        static constexpr KeyName kArrows[] = {kUp, kDown, kRight, kLeft};
        Emit(KeyCode(kArrows[byte - 'a'], kCtrl | alt));
      }
      break;
    }
    case State::kLinuxFunction:
      state_ = State::kGround;
      if (byte >= 'A' && byte <= 'E') Emit(KeyCode(static_cast<KeyName>(kF1 + (byte - 'A')), 0));
      break;
    case State::kX10Mouse:
      X10Mouse(byte);
      break;
    case State::kUtf8:
      Utf8(byte);
      break;
  }
  if (state_ == State::kGround) alt_prefix_ = false;
}

void KeyDecoder::Ground(uint8_t byte) {
  if (byte == 0x1B) {
    state_ = State::kEscape;
  } else if (byte == 0x7F) {
    Emit(kKeyBackspace);
  } else if (byte < 0x80) {
    Emit(byte);
  } else if (!utf8_) {
    std::optional<unsigned char> code = UnicodeToCp850(byte);  // Latin-1
    if (code) Emit(*code);
  } else if (byte >= 0xC2 && byte <= 0xF4) {
    continuation_bytes_ = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : 1;
    character_ = byte & (0x3F >> continuation_bytes_);
    state_ = State::kUtf8;
  }
}

void KeyDecoder::Escape(uint8_t byte) {
  state_ = State::kGround;
  if (byte == '[') {
    state_ = State::kCsi;
    sequence_.clear();
  } else if (byte == 'O') {
    state_ = State::kSs3;
  } else if (byte == 0x1B) {
    // rxvt sends Alt with a key as Esc before the key's own sequence; a third Esc makes the first
    // a key of its own.
    if (alt_prefix_) Emit(kKeyEsc);
    alt_prefix_ = true;
    state_ = State::kEscape;
  } else {
    if (alt_prefix_) Emit(kKeyEsc);
    if (int scan = AltScanCode(byte); scan != 0) {
      Emit(scan * 256);
    } else {
      // Esc and then another key, arrived together.
      Emit(kKeyEsc);
      Ground(byte);
    }
  }
}

void KeyDecoder::Csi(uint8_t byte) {
  if (sequence_.empty() && byte == '[') {
    state_ = State::kLinuxFunction;
  } else if (sequence_.empty() && byte == 'M') {
    state_ = State::kX10Mouse;
  } else if (byte >= 0x40 && byte <= 0x7E && !(sequence_.empty() && byte == '<')) {
    state_ = State::kGround;
    DispatchCsi(byte);
  } else if (byte == 0x1B) {
    // Not a sequence after all: start over from this Esc.
    state_ = State::kGround;
    Ground(byte);
  } else if (sequence_.size() < kLongestSequence) {
    sequence_.push_back(static_cast<char>(byte));
  }
}

void KeyDecoder::DispatchCsi(uint8_t final_byte) {
  const bool sgr_mouse = !sequence_.empty() && sequence_[0] == '<';
  const std::vector<int> p = Parameters(sgr_mouse ? sequence_.substr(1) : sequence_);
  if (sgr_mouse) {
    // Left button pressed, whatever Shift, Alt or Ctrl; motion, wheel and releases are not clicks.
    if (final_byte == 'M' && p.size() >= 3 && (p[0] & ~(4 | 8 | 16)) == 0) Click(p[1], p[2]);
    return;
  }
  if (final_byte == 'Z') {
    Emit(kKeyShiftTab);
    return;
  }
  int modifiers = Modifiers(p) | (alt_prefix_ ? kAlt : 0);
  KeyName name = LetterKey(final_byte);
  if (final_byte == '~') {
    name = TildeKey(p[0]);
  } else if (final_byte == '^' || final_byte == '$' || final_byte == '@') {
    // rxvt marks Ctrl, Shift and both by the final byte instead of a parameter.
    name = TildeKey(p[0]);
    modifiers |= final_byte == '^' ? kCtrl : final_byte == '$' ? kShift : kCtrl | kShift;
  }
  if (name != kNoKey) Emit(KeyCode(name, modifiers));
}

void KeyDecoder::X10Mouse(uint8_t byte) {
  sequence_.push_back(static_cast<char>(byte));
  if (sequence_.size() < 3) return;
  state_ = State::kGround;
  const int button = static_cast<uint8_t>(sequence_[0]) - 32;
  const int column = static_cast<uint8_t>(sequence_[1]) - 32;
  const int row = static_cast<uint8_t>(sequence_[2]) - 32;
  if ((button & ~(4 | 8 | 16)) == 0) Click(column, row);
}

void KeyDecoder::Utf8(uint8_t byte) {
  if ((byte & 0xC0) != 0x80) {
    state_ = State::kGround;
    Ground(byte);
    return;
  }
  character_ = (character_ << 6) | (byte & 0x3F);
  if (--continuation_bytes_ > 0) return;
  state_ = State::kGround;
  std::optional<unsigned char> code = UnicodeToCp850(character_);
  if (code) Emit(*code);
}

void KeyDecoder::Pause() {
  if (state_ == State::kEscape) {
    if (alt_prefix_) Emit(kKeyEsc);
    Emit(kKeyEsc);
  }
  state_ = State::kGround;
  alt_prefix_ = false;
}

void KeyDecoder::Emit(int key) { keys_.push_back(static_cast<int16_t>(key)); }

void KeyDecoder::Click(int column, int row) {
  if (row >= 1 && row <= kScreenRows && column >= 1 && column <= kScreenColumns) {
    Emit(MouseClickCode(row, column));
  }
}

std::optional<int16_t> KeyDecoder::TakeKey() {
  if (keys_.empty()) return std::nullopt;
  int16_t key = keys_.front();
  keys_.pop_front();
  return key;
}

void KeyDecoder::Reset() {
  keys_.clear();
  state_ = State::kGround;
  alt_prefix_ = false;
  sequence_.clear();
}

}  // namespace quarnell
