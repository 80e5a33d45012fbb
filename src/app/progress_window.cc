#include "app/progress_window.h"

#include <algorithm>

#include "config/attributes.h"
#include "config/translate.h"
#include "screen/key_codes.h"
#include "screen/window_stack.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

// The window: rows 9 to 15, columns 6 to 75; inside, 68 columns.
constexpr int kTop = 9;
constexpr int kLeft = 6;
constexpr int kBottom = 15;
constexpr int kRight = 75;
constexpr int kInside = kRight - kLeft - 1;
constexpr int kBarWidth = 40;
constexpr char kBarFull = '\xDB';   // full block
constexpr char kBarEmpty = '\xB0';  // light shade

// Writes `text` at window row `row`, column 3, cut and blank-padded to the inside of the window.
void WriteLine(Console& console, int row, const std::string& text) {
  std::string line = text.substr(0, static_cast<size_t>(kInside - 3));
  line.resize(static_cast<size_t>(kInside - 3), ' ');
  console.SetCursor(row, 3);
  console.Write(line);
}

}  // namespace

ProgressWindow::ProgressWindow(Console& console, int owners) : console_(console), owners_(owners) {
  SetAttribute("+n");
  PushWindow(console_, kTop, kLeft, kBottom, kRight);
  DrawFrame(console_, 1);
  const std::string title = " " + Translate("EMISSIÓ DELS COMPTES D'EXPLOTACIÓ"_cp850) + " ";
  console_.SetCursor(0, std::max(1, (kInside - static_cast<int>(title.size())) / 2 + 1));
  console_.Write(title);
  WriteLine(console_, 5, Translate("Esc: aturar l'emissió després d'aquest propietari"_cp850));
  DrawCount();
  console_.Refresh();
}

ProgressWindow::~ProgressWindow() {
  PopWindow(console_);
  SetAttribute("-");
}

bool ProgressWindow::NextOwner(const std::string& code, const std::string& name) {
  // One key per owner is enough to see an Esc; what else was typed is dropped after the run.
  if (console_.KeyWaiting() && console_.WaitKey() == kKeyEsc) stopped_ = true;
  if (stopped_) return false;
  std::string padded = code;
  padded.insert(0, padded.size() < 4 ? 4 - padded.size() : 0, ' ');
  WriteLine(console_, 1, Translate("Propietari") + " " + padded + "  " + name);
  ++done_;
  DrawCount();
  console_.Refresh();
  return true;
}

// "12 / 40" and a bar of the owners done, counting the one being printed.
void ProgressWindow::DrawCount() {
  const int total = std::max(owners_, done_);
  const int full = total == 0 ? 0 : done_ * kBarWidth / total;
  std::string bar(static_cast<size_t>(full), kBarFull);
  bar.append(static_cast<size_t>(kBarWidth - full), kBarEmpty);
  WriteLine(console_, 3, bar + "  " + std::to_string(done_) + " / " + std::to_string(total));
}

}  // namespace quarnell
