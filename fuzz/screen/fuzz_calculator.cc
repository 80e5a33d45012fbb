// The calculator's state file and keys over arbitrary bytes: the input up to its first NUL byte is
// a state file (a damaged one gives the initial state), every byte after it a key. Whatever the
// file held and whatever is typed, the registers stay in their ranges, the value line keeps its
// width, a state written out reads back the same, and F gives digits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "screen/adding_machine.h"
#include "screen/key_codes.h"
#include "text/masks.h"

namespace {

// Bytes 0xF0 and up stand for the keys without a character.
int16_t Key(uint8_t byte) {
  static constexpr int16_t kSpecial[] = {quarnell::kKeyLeft,     quarnell::kKeyRight,
                                         quarnell::kKeyCtrlLeft, quarnell::kKeyCtrlRight,
                                         quarnell::kKeyAltF,     quarnell::kKeyF4};
  if (byte >= 0xF0) return kSpecial[(byte - 0xF0) % std::size(kSpecial)];
  return byte;
}

void CheckRanges(const quarnell::CalculatorState& s) {
  if (s.x < 1 || s.x > quarnell::kCalculatorLastColumn) abort();
  if (s.first_line < 2 || s.first_line > quarnell::kTapeEmpty) abort();
  if (s.decimals < 0 || s.decimals > quarnell::kSignificantDigits) abort();
}

void Check(const quarnell::CalculatorState& s) {
  CheckRanges(s);
  if (quarnell::FormatMask(quarnell::ValueMask(s.point, s.decimals), s.value).size() != 22) {
    abort();
  }
  const std::string text = quarnell::EncodeCalculatorState(s);
  auto back = quarnell::DecodeCalculatorState(text);
  if (!back || quarnell::EncodeCalculatorState(*back) != text) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t nul = bytes.find('\0');
  quarnell::CalculatorState state =
      quarnell::DecodeCalculatorState(bytes.substr(0, nul)).value_or(quarnell::CalculatorState{});
  Check(state);
  if (nul == std::string_view::npos) return 0;
  for (size_t i = nul + 1; i < bytes.size(); ++i) {
    const quarnell::CalculatorStep step = quarnell::PressCalculatorKey(state, Key(data[i]));
    CheckRanges(state);
    if (step == quarnell::CalculatorStep::kFinish) {
      const std::string result = quarnell::CalculatorResult(state);
      if (result.empty() || result.find_first_not_of("0123456789.") != std::string::npos) abort();
    }
  }
  Check(state);
  return 0;
}
