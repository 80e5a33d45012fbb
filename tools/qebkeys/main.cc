// qebkeys: shows the code the program receives for each key pressed, in a framed window, to check
// a terminal (and for the terminal tests). Esc twice in a row leaves. It reads the session's
// configuration like quarnell (QEBROOT, QEBTMP), so the colours are the workstation's.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/attributes.h"
#include "config/session.h"
#include "screen/key_codes.h"
#include "screen/terminal_console.h"
#include "screen/window_stack.h"

namespace quarnell {
namespace {

struct NamedKey {
  int16_t code;
  const char* name;
};

constexpr NamedKey kNames[] = {
    {kKeyEnter, "Enter"},
    {kKeyEsc, "Esc"},
    {kKeyTab, "Tab"},
    {kKeyBackspace, "Backspace"},
    {kKeyCtrlC, "Ctrl+C"},
    {kKeyCtrlV, "Ctrl+V"},
    {kKeyCtrlY, "Ctrl+Y"},
    {kKeyF1, "F1"},
    {kKeyF2, "F2"},
    {kKeyF3, "F3"},
    {kKeyF4, "F4"},
    {kKeyF10, "F10"},
    {kKeyCtrlF4, "Ctrl+F4"},
    {kKeyAltF4, "Alt+F4"},
    {kKeyShiftTab, "Shift+Tab"},
    {kKeyHome, "Home"},
    {kKeyEnd, "End"},
    {kKeyUp, "Up"},
    {kKeyDown, "Down"},
    {kKeyLeft, "Left"},
    {kKeyRight, "Right"},
    {kKeyPageUp, "PgUp"},
    {kKeyPageDown, "PgDn"},
    {kKeyInsert, "Ins"},
    {kKeyDelete, "Del"},
    {kKeyCtrlLeft, "Ctrl+Left"},
    {kKeyCtrlRight, "Ctrl+Right"},
    {kKeyCtrlHome, "Ctrl+Home"},
    {kKeyAltX, "Alt+X"},
    {kKeyAltC, "Alt+C"},
    {kKeyAltF, "Alt+F"},
};

// "3B00 F1", "61 a", "-1203 click at row 3, column 12".
std::string Describe(int16_t key) {
  char text[64];
  if (IsMouseClick(key)) {
    std::snprintf(text, sizeof text, "%d click at row %d, column %d", key, ClickRow(key),
                  ClickColumn(key));
    return text;
  }
  const unsigned code = static_cast<uint16_t>(key);
  std::snprintf(text, sizeof text, code > 0xFF ? "%04X" : "%02X", code);
  std::string description = text;
  for (const NamedKey& named : kNames) {
    if (named.code == key) return description + " " + named.name;
  }
  if (code >= 0x20 && code <= 0xFF && code != 0x7F) {
    description += " '";
    description += static_cast<char>(code);
    description += "'";
  }
  return description;
}

void WriteAt(Console& console, int row, int column, const std::string& text, int width) {
  console.SetCursor(row, column);
  console.Write(text.substr(0, static_cast<size_t>(width)));
  console.WriteBlanks(width - static_cast<int>(std::min<size_t>(text.size(), width)));
}

int Run() {
  // The session's colours and directory (the window stack file lives there), as in the program.
  StartConfiguration();
  std::string error;
  std::unique_ptr<Console> console = OpenTerminalConsole(&error);
  if (!console) {
    std::fprintf(stderr, "qebkeys: %s\n", error.c_str());
    return 2;
  }
  console->HideCursor();  // shown from the first key on, after its code
  console->Clear();
  console->SetCursor(1, 30);
  console->Write("qebkeys: key codes");
  PushWindow(*console, 6, 11, 14, 70);
  SetAttribute("+r");
  DrawFrame(*console, 2);
  const int width = 56;
  WriteAt(*console, 1, 2, "Press keys; Esc twice in a row leaves.", width);
  WriteAt(*console, 7, 2, "Ins switches the cursor between its two sizes.", width);
  WriteAt(*console, 3, 2, "Key code: (none yet)", width);
  std::vector<std::string> history;
  int escapes = 0;
  bool insert = false;
  for (;;) {
    const int16_t key = console->WaitKey();
    escapes = key == kKeyEsc ? escapes + 1 : 0;
    if (escapes == 2) break;
    WriteAt(*console, 3, 2, "Key code: " + Describe(key), width);
    history.insert(history.begin(), Describe(key).substr(0, Describe(key).find(' ')));
    if (history.size() > 8) history.pop_back();
    std::string line = "Before:";
    for (size_t i = 1; i < history.size(); ++i) line += " " + history[i];
    WriteAt(*console, 5, 2, line, width);
    if (key == kKeyInsert) {
      insert = !insert;
      console->SetCursorShape(insert ? CursorShape::kBlock : CursorShape::kLine);
    }
    console->SetCursor(3, 12 + static_cast<int>(Describe(key).size()));
    console->ShowCursor();
  }
  SetAttribute("-");
  PopWindow(*console);
  return 0;
}

}  // namespace
}  // namespace quarnell

int main() { return quarnell::Run(); }
