#include "app/findings_window.h"

#include <algorithm>
#include <string>

#include "config/attributes.h"
#include "config/translate.h"
#include "screen/key_codes.h"
#include "screen/message_box.h"
#include "screen/window_stack.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

// The window: rows 2 to 24 of the whole width; 21 lines of 76 characters inside.
constexpr int kTop = 2;
constexpr int kBottom = 24;
constexpr int kLines = kBottom - kTop - 1;
constexpr int kWidth = 76;
constexpr int kQuestionRow = 12;

// Every finding laid out in lines of the window's width, a blank line between findings.
std::vector<std::string> Lines(const std::vector<Finding>& findings) {
  std::vector<std::string> lines;
  for (const Finding& finding : findings) {
    const std::string utf8 = FindingLine(finding);
    const std::string text = Utf8ToCp850(utf8).value_or(utf8);
    for (const std::string& line : LayOutText(text, kWidth)) lines.push_back(line);
    lines.emplace_back(kWidth, ' ');
  }
  return lines;
}

void DrawPage(Console& console, const std::vector<std::string>& lines, int first) {
  for (int row = 0; row < kLines; ++row) {
    const size_t index = static_cast<size_t>(first + row);
    console.SetCursor(row + 1, 2);
    console.Write(index < lines.size() ? lines[index] : std::string(kWidth, ' '));
  }
}

}  // namespace

std::vector<Finding> CheckDataOnScreen(Console& console, const CheckSettings& check) {
  ShowMessageBox(console, Translate("S'estan comprovant les dades; espereu."_cp850), kQuestionRow);
  console.Refresh();
  std::vector<Finding> findings = RunDataFindings(check);
  PopWindow(console);
  return findings;
}

void OfferFindings(Console& console, const std::vector<Finding>& findings) {
  if (findings.empty()) return;
  const int16_t key = ShowMessageUntilKey(
      console,
      Translate("La comprovació de les dades ha trobat avisos:"_cp850) + " " +
          std::to_string(findings.size()) + ". " +
          Translate("Premeu S per veure'ls o una altra tecla per continuar."_cp850),
      kQuestionRow, false);
  if (key == 'S' || key == 's') ShowFindings(console, findings);
}

void ShowFindings(Console& console, const std::vector<Finding>& findings) {
  const std::vector<std::string> lines = Lines(findings);
  const int last_first = std::max(0, static_cast<int>(lines.size()) - kLines);
  SetAttribute("+n");
  PushWindow(console, kTop, 1, kBottom, kScreenColumns);
  DrawFrame(console, 2);
  const std::string title = " " + Translate("Avisos de la comprovació de les dades"_cp850) + " ";
  console.SetCursor(0, 3);
  console.Write(title);
  int first = 0;
  for (;;) {
    DrawPage(console, lines, first);
    const int16_t key = console.WaitKey();
    if (key == kKeyEsc || key == kKeyEnter) break;
    if (key == kKeyDown) first += 1;
    if (key == kKeyUp) first -= 1;
    if (key == kKeyPageDown) first += kLines;
    if (key == kKeyPageUp) first -= kLines;
    if (key == kKeyHome) first = 0;
    if (key == kKeyEnd) first = last_first;
    first = std::clamp(first, 0, last_first);
  }
  PopWindow(console);
  SetAttribute("-");
}

}  // namespace quarnell
