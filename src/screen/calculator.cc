#include "screen/calculator.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "config/alerts.h"
#include "config/attributes.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"
#include "screen/key_input.h"
#include "screen/window_stack.h"
#include "text/masks.h"

namespace quarnell {
namespace {

constexpr size_t kLargestStateFile = 64 * 1024;  // a state file is under 2 KiB

constexpr char kHorizontal = '\xC4';
constexpr char kVertical = '\xB3';

// The window's rows are the screen's: the window starts on row 1.
constexpr int kSeparatorRow = 23;
constexpr int kValueRow = 24;
constexpr int kBottomRow = 25;

std::string FrameLine(char left, char right) {
  return left + std::string(kCalculatorWidth - 2, kHorizontal) + right;
}

std::string Number(double value, bool point, int decimals) {
  return FormatMask(ValueMask(point, decimals), value);
}

// Writes a line across the window at screen row `row`.
void DrawRow(Console& console, int row, const std::string& text) {
  console.SetCursor(row - 1, 0);
  console.Write(text);
}

void DrawCalculator(Console& console, const CalculatorState& s) {
  const bool empty = s.first_line >= kTapeEmpty;
  if (!empty) DrawRow(console, s.first_line - 1, FrameLine('\xDA', '\xBF'));
  for (int line = s.first_line; line <= kTapeLines; ++line) {
    const TapeLine& t = s.Line(line);
    DrawRow(console, line,
            kVertical + Number(t.value, t.point, t.decimals) + ' ' + (t.op == 0 ? ' ' : t.op) +
                kVertical);
  }
  DrawRow(console, kSeparatorRow, empty ? FrameLine('\xDA', '\xBF') : FrameLine('\xC3', '\xB4'));
  DrawRow(console, kValueRow, kVertical + Number(s.value, s.point, s.decimals) + "  " + kVertical);
  DrawRow(console, kBottomRow, FrameLine('\xC0', '\xD9'));
}

void OpenWindow(Console& console, const CalculatorState& s) {
  PushWindow(console, 1, s.x, kBottomRow, s.x + kCalculatorWidth - 1);
  DrawCalculator(console, s);
}

}  // namespace

std::string CalculatorStateFile() {
  const SessionSettings& session = Session();
  const std::string& directory =
      session.terminal_directory.empty() ? session.session_directory : session.terminal_directory;
  return HostPath(directory + kCalculatorFileName);
}

CalculatorState ReadCalculatorState(const std::string& host_path) {
  SmallFile file = ReadSmallFile(host_path, kLargestStateFile);
  if (file.state != FileState::kRead) return CalculatorState{};
  return DecodeCalculatorState(file.bytes).value_or(CalculatorState{});
}

void WriteCalculatorState(const std::string& host_path, const CalculatorState& state) {
  RemoveAbandonedTemporaries(host_path, std::chrono::system_clock::now());
  const int error = ReplaceFile(host_path, EncodeCalculatorState(state));
  if (error != 0) {
    WarnOperator("cannot keep the calculator's tape in " + host_path + ": " + std::strerror(error) +
                 "; the calculator will start empty next time");
  }
}

std::string Calculator(Console& console) {
  const SavedKeySet keys = SaveKeySet();
  SetKeySet("e");
  SetAttribute("+n");
  const bool cursor_was_visible = console.Cursor().visible;
  console.HideCursor();
  const std::string path = CalculatorStateFile();
  CalculatorState state = ReadCalculatorState(path);
  OpenWindow(console, state);

  std::string result;
  for (;;) {
    const CalculatorStep step = PressCalculatorKey(state, ReadEntryKey(console));
    if (step == CalculatorStep::kLeave) break;
    if (step == CalculatorStep::kFinish) {
      result = CalculatorResult(state);
      break;
    }
    if (step == CalculatorStep::kRefused) {
      console.Bell();
    } else if (step == CalculatorStep::kReplace) {
      PopWindow(console);
      OpenWindow(console, state);
    } else {
      DrawCalculator(console, state);
    }
  }

  PopWindow(console);
  WriteCalculatorState(path, state);
  if (cursor_was_visible) console.ShowCursor();
  SetAttribute("-");
  RestoreKeySet(keys);
  return result;
}

}  // namespace quarnell
