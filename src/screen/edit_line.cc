#include "screen/edit_line.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "config/attributes.h"
#include "screen/clipboard.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "text/folding.h"

namespace quarnell {
namespace {

constexpr std::string_view kWordSeparators = " ,.;:";

bool IsSeparator(char c) { return kWordSeparators.find(c) != std::string_view::npos; }

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// The first character folded to a plain capital, for the option search.
char FoldedInitial(std::string_view text) {
  if (text.empty()) return '\0';
  const bool mode = FoldMode();
  SetFoldMode(true);
  const std::string folded = FoldText(text.substr(0, 1));
  SetFoldMode(mode);
  return folded[0];
}

class LineEditor {
 public:
  LineEditor(Console& console, int row, int column, int line_width, std::string& text,
             std::span<const EditOption> options)
      : console_(console),
        row_(row != 0 ? row : console.CursorRow() - WindowTop()),
        column_(column != 0 ? column : console.CursorColumn() - WindowLeft()),
        line_width_(std::max(line_width, 0)),
        text_(text),
        length_(static_cast<int>(text.size())),
        options_(options) {
    if (!options_.empty()) ChooseOptionOfText();
  }

  void Run(int start, int16_t& key) {
    position_ = std::clamp(start, 1, length_ + 1);
    cursor_was_visible_ = console_.Cursor().visible;
    console_.SetCursorShape(CursorShape::kLine);
    console_.ShowCursor();
    SetAttribute("u");
    if (!options_.empty()) DrawMarks(kOptionMarkLeft, kOptionMarkRight);
    for (;;) {
      Draw();
      PlaceCursor(position_);
      int16_t pressed = ReadEntryKey(console_);
      if (IsMouseClick(pressed)) {
        if (Click(pressed)) continue;
        key = pressed;
        break;
      }
      if (pressed == kKeyShiftTab) pressed = kKeyUp;
      if (TypedCharacter(pressed)) {
        Type(static_cast<char>(pressed));
        continue;
      }
      if (pressed == kKeyInsert) {
        insert_ = !insert_;
        console_.SetCursorShape(insert_ ? CursorShape::kBlock : CursorShape::kLine);
        continue;
      }
      if (pressed == kKeyCtrlC) {
        SetClipboardText(options_.empty() ? Trimmed(text_) : options_[chosen_].text);
        continue;
      }
      if (options_.empty() ? TextKey(pressed) : OptionKey(pressed)) continue;
      if (std::optional<int16_t> ending = EndingKey(pressed)) {
        key = *ending;
        break;
      }
    }
    Finish();
  }

 private:
  int WindowTop() const { return console_.WindowDepth() > 0 ? console_.CurrentWindow().top : 0; }
  int WindowLeft() const { return console_.WindowDepth() > 0 ? console_.CurrentWindow().left : 0; }

  // Columns the field takes on each of its lines.
  int Width() const {
    if (!options_.empty()) return widest_;
    return line_width_ != 0 ? line_width_ : length_ + 1;
  }
  int Lines() const {
    if (line_width_ == 0 || !options_.empty()) return 1;
    return std::max(1, (length_ + line_width_ - 1) / line_width_);
  }

  void PlaceCursor(int position) {
    if (line_width_ == 0 || !options_.empty()) {
      console_.SetCursor(row_, column_ + (options_.empty() ? position - 1 : 0));
    } else {
      console_.SetCursor(row_ + (position - 1) / line_width_,
                         column_ + (position - 1) % line_width_);
    }
  }

  // What the field shows: the option's text, the echo characters or the text itself.
  std::string Shown() const {
    if (!options_.empty()) {
      std::string shown = options_[chosen_].text;
      shown.resize(static_cast<size_t>(widest_), ' ');
      return shown;
    }
    if (EchoCharacter() != 0) return std::string(text_.size(), static_cast<char>(EchoCharacter()));
    return text_;
  }

  void Draw() {
    const std::string shown = Shown();
    if (line_width_ == 0 || !options_.empty()) {
      console_.SetCursor(row_, column_);
      console_.Write(shown);
      console_.WriteBlanks(Width() - static_cast<int>(shown.size()));
      return;
    }
    for (int line = 0; line < Lines(); ++line) {
      console_.SetCursor(row_ + line, column_);
      const size_t from = static_cast<size_t>(line * line_width_);
      const std::string piece = from < shown.size() ? shown.substr(from, line_width_) : "";
      console_.Write(piece);
      console_.WriteBlanks(line_width_ - static_cast<int>(piece.size()));
    }
  }

  void DrawMarks(uint8_t left, uint8_t right) {
    console_.SetCursor(row_, column_ - 1);
    console_.Write(std::string(1, static_cast<char>(left)));
    console_.SetCursor(row_, column_ + widest_);
    console_.Write(std::string(1, static_cast<char>(right)));
  }

  void Finish() {
    SetAttribute("h");
    Draw();
    if (!options_.empty()) DrawMarks(' ', ' ');
    console_.SetCursorShape(CursorShape::kLine);
    if (!cursor_was_visible_) console_.HideCursor();
    PlaceCursor(1);
  }

  bool TypedCharacter(int16_t key) const {
    const int lowest = options_.empty() ? 32 : 33;
    return (key >= lowest && key <= 126) || (key >= 128 && key <= 254);
  }

  void Type(char c) {
    if (!options_.empty()) {
      SearchOption(c);
      return;
    }
    if (position_ > length_) return;
    if (insert_) {
      if (text_.back() != ' ') return;
      text_.pop_back();
      text_.insert(text_.begin() + (position_ - 1), c);
    } else {
      text_[position_ - 1] = c;
    }
    ++position_;
  }

  // The editing keys of a plain text; false for a key it does not handle.
  bool TextKey(int16_t key) {
    switch (key) {
      case kKeyLeft:
        position_ = std::max(1, position_ - 1);
        return true;
      case kKeyRight:
        position_ = std::min(length_ + 1, position_ + 1);
        return true;
      case kKeyCtrlLeft:
        return WordLeft();
      case kKeyCtrlRight:
        return WordRight();
      case kKeyHome:
        position_ = 1;
        return true;
      case kKeyEnd:
        position_ = static_cast<int>(text_.find_last_not_of(' ') + 1) + 1;
        return true;
      case kKeyBackspace:
        if (position_ > 1) {
          DeleteAt(position_ - 1);
          --position_;
        }
        return true;
      case kKeyDelete:
        if (position_ <= length_) DeleteAt(position_);
        return true;
      case kKeyCtrlHome:
      case kKeyCtrlY:
        text_.assign(text_.size(), ' ');
        position_ = 1;
        return true;
      case kKeyUp:
        if (line_width_ == 0 || position_ <= line_width_) return false;
        position_ -= line_width_;
        return true;
      case kKeyDown:
        if (line_width_ == 0 || position_ > length_ + 1 - line_width_) return false;
        position_ += line_width_;
        return true;
      case kKeyCtrlV:
        Paste();
        return true;
      default:
        return false;
    }
  }

  void DeleteAt(int position) {
    text_.erase(text_.begin() + (position - 1));
    text_.push_back(' ');
  }

  bool WordLeft() {
    if (position_ <= 1) return false;
    int i = position_ - 1;
    while (i >= 1 && IsSeparator(text_[i - 1])) --i;
    while (i > 1 && !IsSeparator(text_[i - 2])) --i;
    position_ = std::max(i, 1);
    return true;
  }

  bool WordRight() {
    if (position_ > length_) return false;
    int i = position_;
    while (i <= length_ && !IsSeparator(text_[i - 1])) ++i;
    while (i <= length_ && IsSeparator(text_[i - 1])) ++i;
    position_ = i;
    return true;
  }

  void Paste() {
    std::string pasted;
    for (char c : ClipboardText()) {
      const uint8_t code = static_cast<uint8_t>(c);
      if (code >= 32 && code != 127 && code != 255) pasted.push_back(c);
    }
    pasted = Trimmed(pasted);
    for (char c : pasted) {
      if (position_ > length_) break;
      text_[position_ - 1] = c;
      ++position_;
    }
  }

  // The option keys; false for a key it does not handle.
  bool OptionKey(int16_t key) {
    const int count = static_cast<int>(options_.size());
    switch (key) {
      case kKeyRight:
        Choose((chosen_ + 1) % count);
        return true;
      case kKeyLeft:
        Choose((chosen_ + count - 1) % count);
        return true;
      case ' ':
        Choose((chosen_ + 1) % count);
        return true;
      case kKeyBackspace:
      case kKeyDelete:
      case kKeyCtrlHome:
      case kKeyCtrlY:
      case kKeyCtrlV:
        return true;
      default:
        return false;
    }
  }

  void SearchOption(char c) {
    const char wanted = FoldedInitial(std::string_view(&c, 1));
    const int count = static_cast<int>(options_.size());
    for (int step = 1; step <= count; ++step) {
      const int candidate = (chosen_ + step) % count;
      if (FoldedInitial(options_[candidate].text) == wanted) {
        Choose(candidate);
        return;
      }
    }
  }

  // The option whose code is the text, else the first.
  void ChooseOptionOfText() {
    int match = -1;
    for (size_t i = 0; i < options_.size(); ++i) {
      widest_ = std::max(widest_, static_cast<int>(options_[i].text.size()));
      if (match < 0 && PaddedCode(i) == text_) match = static_cast<int>(i);
    }
    Choose(std::max(match, 0));
  }

  std::string PaddedCode(size_t option) const {
    std::string code = options_[option].code;
    code.resize(text_.size(), ' ');
    return code;
  }

  void Choose(int option) {
    chosen_ = option;
    text_ = PaddedCode(static_cast<size_t>(option));
  }

  // A click inside the field moves the cursor there (true); one outside ends the editor.
  bool Click(int16_t key) {
    const int row = ClickRow(key) - WindowTop() - row_;
    const int column = ClickColumn(key) - WindowLeft() - column_;
    if (row < 0 || row >= Lines() || column < 0 || column >= Width()) return false;
    if (options_.empty()) {
      const int stride = line_width_ != 0 ? line_width_ : 0;
      position_ = std::min(length_ + 1, row * stride + column + 1);
    }
    return true;
  }

  // The key as the key set delivers it after the translations of unknown keys; nullopt when the
  // key set ignores it.
  std::optional<int16_t> EndingKey(int16_t key) const {
    if (key == kKeyTab) key = kKeyEnter;
    if (key == kKeyEnter && KeySetDelivers(kKeyEnd)) key = kKeyEnd;
    if (key == kKeyCtrlF4 || key == kKeyAltF4) key = kKeyEsc;
    if (KeySetEmpty()) return key;
    return KeySetDelivers(key);
  }

  Console& console_;
  int row_;
  int column_;
  int line_width_;
  std::string& text_;
  int length_;
  std::span<const EditOption> options_;
  int position_ = 1;
  bool insert_ = false;
  int chosen_ = 0;
  int widest_ = 0;
  bool cursor_was_visible_ = false;
};

}  // namespace

void EditLine(Console& console, int row, int column, int line_width, std::string& text, int start,
              int16_t& key, std::span<const EditOption> options) {
  LineEditor editor(console, row, column, line_width, text, options);
  editor.Run(start, key);
}

}  // namespace quarnell
