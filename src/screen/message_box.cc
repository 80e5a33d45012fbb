#include "screen/message_box.h"

#include "config/attributes.h"
#include "screen/window_stack.h"

namespace quarnell {

std::vector<std::string> LayOutText(std::string_view text, int width) {
  const size_t w = static_cast<size_t>(width);
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(i, end - i);
    i = end;
    const size_t needed = line.empty() ? word.size() : line.size() + 1 + word.size();
    if (needed <= w) {
      if (!line.empty()) line += ' ';
      line += word;
      continue;
    }
    if (!line.empty()) lines.push_back(std::move(line));
    line.clear();
    // A word wider than a line fills whole lines and leaves its tail to go on with.
    while (word.size() > w) {
      lines.emplace_back(word.substr(0, w));
      word.remove_prefix(w);
    }
    line = word;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  for (std::string& l : lines) l.resize(w, ' ');
  return lines;
}

std::optional<MessageBoxLayout> LayOutMessageBox(std::string_view text, int row, int screen_rows) {
  MessageBoxLayout layout;
  layout.lines = LayOutText(text, kMessageLineWidth);
  const int n = static_cast<int>(layout.lines.size());
  WindowRect& box = layout.box;
  box.top = std::max(1, row - (n + 1) / 2 - 2);
  box.bottom = box.top + n + 1;
  if (box.bottom > screen_rows) {
    box.bottom = screen_rows;
    box.top = box.bottom - n - 1;
    if (box.top < 1) return std::nullopt;
  }
  for (const std::string& line : layout.lines) {
    const int length = static_cast<int>(line.find_last_not_of(' ') + 1);
    if (box.right - box.left < length + 4) {
      box.left = 41 - (length + 1) / 2 - 2;
      box.right = 42 + length / 2;
    }
  }
  return layout;
}

namespace {

// The frame and the lines, in the current window, which is the box.
void DrawBoxContents(Console& console, const MessageBoxLayout& layout) {
  DrawFrame(console, 1);
  for (size_t k = 0; k < layout.lines.size(); ++k) {
    const std::string& line = layout.lines[k];
    console.SetCursor(static_cast<int>(k) + 1, 2);
    console.Write(std::string_view(line).substr(0, line.find_last_not_of(' ') + 1));
  }
}

}  // namespace

void ShowMessageBox(Console& console, std::string_view text, int row) {
  SetAttribute("+rh");
  if (std::optional<MessageBoxLayout> layout = LayOutMessageBox(text, row, console.Rows())) {
    const WindowRect& b = layout->box;
    PushWindow(console, b.top, b.left, b.bottom, b.right);
    DrawBoxContents(console, *layout);
  }
  SetAttribute("-");
}

int16_t ShowMessageUntilKey(Console& console, std::string_view text, int row, bool bell) {
  ShowMessageBox(console, text, row);
  if (bell) console.Bell();
  console.DiscardPendingKeys();
  const int16_t key = console.WaitKey();
  PopWindow(console);
  return key;
}

void DrawMessageBox(Console& console, std::string_view text, int row) {
  SetAttribute("+rh");
  if (std::optional<MessageBoxLayout> layout = LayOutMessageBox(text, row, console.Rows())) {
    const WindowRect window = console.CurrentWindow();
    const int depth = console.WindowDepth();
    console.SetWindowState(layout->box, depth + 1);
    DrawBoxContents(console, *layout);
    console.SetWindowState(window, depth);
  }
  SetAttribute("-");
}

}  // namespace quarnell
