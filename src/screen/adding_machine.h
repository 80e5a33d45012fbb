// The adding machine behind the calculator pop-up (calculator.h): an entry register, an
// accumulator, a pending operator and a paper tape, driven one key at a time. Nothing here draws
// or touches a file, so the arithmetic is tested on its own.
#ifndef QUARNELL_SCREEN_ADDING_MACHINE_H_
#define QUARNELL_SCREEN_ADDING_MACHINE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr int kTapeLines = 22;
inline constexpr int kTapeEmpty = 23;  // first tape line shown when nothing is on the tape
inline constexpr int kCalculatorWidth = 26;
inline constexpr int kCalculatorLastColumn = 80 - kCalculatorWidth + 1;  // 55: right edge at 80
// A number holds at most this many significant digits: what a double keeps exactly, and what the
// value line shows.
inline constexpr int kSignificantDigits = 15;

struct TapeLine {
  double value = 0;
  bool point = false;
  int decimals = 0;
  char op = 0;  // 0: none
  friend bool operator==(const TapeLine&, const TapeLine&) = default;
};

// Every register of the machine; the state file keeps all of it between uses.
struct CalculatorState {
  int x = 1;                    // left screen column of the window, 1 to 55
  int first_line = kTapeEmpty;  // oldest tape line shown, 2 to 22; 23 when the tape is empty
  double value = 0;             // entry register, shown on the value line
  double total = 0;             // accumulator
  bool cleared = true;          // after a full clear: a further C clears the tape
  bool entering = false;        // a number is being typed
  bool point = false;           // the value has a decimal point
  int decimals = 0;             // decimals typed or shown
  char op = 0;                  // operator of the current key; 0 none
  char pending = 0;             // operator waiting for the next number; 0 none
  std::array<TapeLine, kTapeLines> tape{};  // tape[0] is line 1, tape[21] the newest

  // REQUIRES: 1 <= line <= 22.
  const TapeLine& Line(int line) const { return tape[static_cast<size_t>(line - 1)]; }
  friend bool operator==(const CalculatorState&, const CalculatorState&) = default;
};

// What the pop-up has to do after a key.
enum class CalculatorStep {
  kRedraw,   // registers or tape changed: draw the window again
  kReplace,  // the window moved or the tape was cleared: put back what it covers, draw it anew
  kRefused,  // F on a value that is no number (after a division by zero) or too large: the bell
  kFinish,   // F: leave with CalculatorResult
  kLeave,    // Esc: leave with the empty text
};

// Acts on one key: digits, ".", Backspace, + - * / %, R, C, = and Enter, T (change sign), Left
// and Ctrl+Left, Right and Ctrl+Right (move the window), F and Alt+F, Esc; letters in either case.
// Any other key changes nothing and asks for a redraw.
CalculatorStep PressCalculatorKey(CalculatorState& state, int16_t key);

// The result of F: the value being typed, else the total, in hundredths without its sign:
// 12.5 gives "1250", -3 gives "300", 1.234 gives "123.4".
// REQUIRES: PressCalculatorKey gave kFinish for F in this state (it refuses F on a value that is
// no number or whose hundredths are too large for a double).
std::string CalculatorResult(const CalculatorState& state);

// The edit mask of a value: "-" and the last 21 characters of "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9", then "."
// when it has a point and one "9" per decimal.
std::string ValueMask(bool point, int decimals);

// The state as the state file's text, and back. Decoding gives nullopt for a text that is cut,
// damaged or out of range anywhere, so that a bad file never yields a half-read machine.
std::string EncodeCalculatorState(const CalculatorState& state);
std::optional<CalculatorState> DecodeCalculatorState(std::string_view text);

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_ADDING_MACHINE_H_
