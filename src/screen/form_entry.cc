#include "screen/form_entry.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "config/attributes.h"
#include "config/session.h"
#include "screen/edit_line.h"
#include "screen/help.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen/window_stack.h"
#include "text/dates.h"
#include "text/folding.h"
#include "text/masks.h"

namespace quarnell {
namespace {

// The last year a packed date holds.
constexpr int64_t kLastDateYear = 9999;

// The key that leaves a screen at once (besides End): "code 2" of the key lists.
constexpr int16_t kKeyLeaveCode = 2;

struct EngineState {
  FormHooks hooks;
  BrowseCall browse;
  int last_left = 0;  // the screen last left with PgUp or PgDn
  EntryState entry;
};

EngineState& State() {
  static EngineState state;
  return state;
}

std::string TrimmedRight(std::string_view text) {
  return std::string(text.substr(0, text.find_last_not_of(' ') + 1));
}

// Keys with which a linked screen that ends takes its parent screen with it.
bool EndsParent(int16_t key) {
  return key == kKeyPageUp || key == kKeyPageDown || key == kKeyEnd || key == kKeyLeaveCode ||
         key == kKeyEnter || key == kKeyDown || key == kKeyUp;
}

// The first and the last field that entry can enter (first > last when there is none).
std::pair<int, int> EditableRange(const FormScreen& screen) {
  const int count = static_cast<int>(screen.fields.size());
  int first = 1;
  int last = count;
  while (first <= count && !screen.fields[first - 1].Editable()) ++first;
  while (last >= 1 && !screen.fields[last - 1].Editable()) --last;
  return {first, last};
}

// Whether following the links from `screen` reaches `target`.
bool ChainReaches(int screen, int target) {
  int next = ScreenAt(screen).linked;
  for (int steps = 0; next != 0 && steps < ScreenCount(); ++steps) {
    if (next == target) return true;
    next = ScreenAt(next).linked;
  }
  return false;
}

class ScreenRun {
 public:
  ScreenRun(Console& console, int screen, int back_flag, int forward_flag, int16_t& key)
      : console_(console),
        nested_(screen < 0),
        number_(std::abs(screen)),
        screen_(ScreenAt(number_)),
        back_flag_(back_flag),
        forward_flag_(forward_flag),
        key_(key) {}

  void Run() {
    const bool windowed = screen_.window.top != 0;
    if (windowed) {
      SetAttribute("+n");
      const WindowRect& box = screen_.window;
      PushWindow(console_, box.top, box.left, box.bottom, box.right);
      DrawFrame(console_, 2);
      SetAttribute("-");
    }
    ShowScreen(console_, number_);
    std::tie(first_, last_) = EditableRange(screen_);
    bool leave = first_ > last_ || ReturnThroughLinkedScreen();
    for (;;) {
      if (!leave) FieldLoop();
      leave = false;
      const FormHooks& hooks = State().hooks;
      const int16_t refused = hooks.accept_form ? hooks.accept_form(console_, number_, key_) : 0;
      // A screen without editable fields cannot be filled in again: it ends whatever the answer.
      if (refused == 0 || first_ > last_) break;
    }
    if (windowed) PopWindow(console_);
    State().entry = EntryState();
  }

 private:
  // Coming back to a screen that was left with PgUp or PgDn through one of its linked screens:
  // that linked screen is entered first. True when the screen is to end at once.
  bool ReturnThroughLinkedScreen() {
    int& last_left = State().last_left;
    if (last_left != 0 && last_left != number_ && !ChainReaches(number_, last_left)) last_left = 0;
    if (last_left == 0 || last_left == number_ || screen_.linked == 0) {
      last_left = 0;
      return false;
    }
    RunForm(console_, -screen_.linked, back_flag_, forward_flag_, key_);
    if (EndsParent(key_)) return true;
    last_left = 0;
    return false;
  }

  void FieldLoop() {
    current_ = first_;
    while (current_ >= first_ && current_ <= last_) {
      EditField(current_);
      std::tie(first_, last_) = EditableRange(screen_);
      if (!MoveByKey()) return;
    }
  }

  void EditField(int number) {
    FormField& field = screen_.fields[number - 1];
    SetKeySet("+ea", screen_.key_list + ",3b00");
    const bool hidden = (field.flags & kFieldHidden) != 0;
    std::string text = (field.flags & (kFieldStartsEmpty | kFieldHidden)) != 0
                           ? std::string(field.entry.size(), ' ')
                           : field.entry;
    if (hidden) SetKeySet("h");
    if (!field.Editable()) {
      // Passed over in the direction of travel; a key that does not travel goes forward.
      if (key_ == 0 || IsMouseClick(key_)) key_ = kKeyDown;
      if (hidden) SetKeySet("v");
      SetKeySet("-");
      return;
    }
    if (field.option_width != 0) {
      console_.SetCursor(field.row, field.EntryColumn() + field.length);
      console_.WriteBlanks(field.option_width);
    }
    for (;;) {
      const int start = (field.flags & kFieldCursorAtEnd) != 0
                            ? static_cast<int>(TrimmedRight(text).size()) + 1
                            : 1;
      EditLine(console_, field.row, field.EntryColumn(), field.line_width, text, start, key_,
               field.options);
      State().entry = EntryState{number_, number, text};
      if (Ended(field, number, text) == 0) break;
      console_.Bell();
    }
    State().entry.text.clear();
    if (hidden) SetKeySet("v");
    SetKeySet("-");
  }

  // What the key that ended the editor does to the field; non-zero when the entry is refused
  // and the operator stays in the field with the text.
  int16_t Ended(FormField& field, int number, std::string& text) {
    if (key_ == kKeyF1) {
      const std::string topic = TrimmedRight(Session().menu_name);
      if (!topic.empty()) ShowHelp(console_, topic);
      key_ = 0;
      return 0;
    }
    if (key_ == kKeyF4) return Pick(field, number);
    if (key_ == kKeyEsc) {
      ShowField(console_, number_, number);
      return 0;
    }
    if (IsAllChar(text, ' ') && (field.flags & (kFieldStartsEmpty | kFieldHidden)) != 0) {
      text = field.entry;  // a blank entry keeps the old value
    }
    return CheckField(console_, number_, text, number, key_);
  }

  int16_t Pick(const FormField& field, int number) {
    key_ = 0;
    if (field.browse == 0) return 0;
    const EngineState& state = State();
    for (;;) {
      const int16_t result = state.browse ? state.browse(console_, field.browse) : -1;
      if (result != 0) return result;
      int browse = field.browse;
      if (state.hooks.browse_pick) state.hooks.browse_pick(console_, browse, number_, number);
      if (browse != 0) break;
    }
    key_ = number == last_ && screen_.linked == 0 ? kKeyEnter : kKeyDown;
    return 0;
  }

  // Moves `current_` by the key; false when the screen is to end.
  bool MoveByKey() {
    switch (key_) {
      case kKeyPageUp:
        if (current_ > first_ || back_flag_ == 0) {
          current_ = first_;
          return true;
        }
        State().last_left = number_;
        return false;
      case kKeyPageDown:
        if (current_ < last_ || forward_flag_ == 0) {
          current_ = last_;
          return true;
        }
        State().last_left = number_;
        return false;
      case kKeyEnd:
      case kKeyLeaveCode:
        return false;
      case kKeyEsc:
        if (current_ <= first_) return false;
        current_ = first_;
        return true;
      case kKeyEnter:
      case kKeyDown:
      case kKeyF2:
        return Forward();
      case kKeyUp:
        if (current_ > first_) {
          --current_;
        } else if (nested_) {
          key_ = kKeyEsc;
          return false;
        }
        return true;
      case 0:
        return true;
      default:
        if (IsMouseClick(key_)) {
          current_ = ClickedField(current_);
          return true;
        }
        return false;
    }
  }

  bool Forward() {
    if ((current_ == last_ || key_ == kKeyF2) && screen_.linked != 0) {
      RunForm(console_, -screen_.linked, back_flag_, forward_flag_, key_);
      return !EndsParent(key_);
    }
    if (key_ == kKeyEnter || (key_ == kKeyDown && current_ < last_)) ++current_;
    return true;
  }

  // The first editable field whose area holds the click, else `stay`.
  int ClickedField(int stay) const {
    const int row = ClickRow(key_) - screen_.window.top;
    const int column = ClickColumn(key_) - screen_.window.left;
    for (int number = first_; number <= last_; ++number) {
      const FormField& field = screen_.fields[number - 1];
      if (!field.Editable()) continue;
      const int lines = field.line_width != 0 ? std::max(1, field.length / field.line_width) : 1;
      const int width = field.line_width != 0 ? field.line_width : field.length;
      const int right = field.EntryColumn() + width + field.option_width - 1;
      if (row >= field.row && row < field.row + lines && column >= field.column &&
          column <= right) {
        return number;
      }
    }
    return stay;
  }

  Console& console_;
  bool nested_;
  int number_;
  FormScreen& screen_;
  int back_flag_;
  int forward_flag_;
  int16_t& key_;
  int first_ = 1;
  int last_ = 0;
  int current_ = 1;
};

// The title's column: centred on column 41, halves rounded to even.
int TitleColumn(size_t length) {
  return 41 - static_cast<int>(std::nearbyint(static_cast<double>(length) / 2.0));
}

}  // namespace

void SetFormHooks(FormHooks hooks) { State().hooks = std::move(hooks); }

const FormHooks& CurrentFormHooks() { return State().hooks; }

void SetBrowseCall(BrowseCall call) { State().browse = std::move(call); }

void RunForm(Console& console, int screen, int back_flag, int forward_flag, int16_t& key) {
  ScreenRun(console, screen, back_flag, forward_flag, key).Run();
}

void ShowScreen(Console& console, int screen) {
  const FormScreen& definition = ScreenAt(screen);
  if (definition.window.top == 0) {
    // The title is centred on the screen; a screen in a window of its own leaves it where it is.
    const std::string& title = Session().title;
    SetAttribute("rh");
    console.SetCursor(1, TitleColumn(title.size()));
    console.Write(title);
  }
  SetAttribute("n");
  for (const FormField& field : definition.fields) {
    console.SetCursor(field.row, field.column);
    console.Write(field.label);
  }
  SetAttribute("h");
  for (int field = 1; field <= static_cast<int>(definition.fields.size()); ++field) {
    ShowField(console, screen, field);
  }
}

void ShowField(Console& console, int screen, int field) {
  const FormField& definition = FieldAt(screen, field);
  const int row = definition.row;
  const int column = definition.EntryColumn();
  const std::string& entry = definition.entry;
  console.SetCursor(row, column);
  if ((definition.flags & kFieldHidden) != 0) {
    // Never shown; the blanks take away the echo of the entry.
    console.WriteBlanks(definition.length);
    console.SetCursor(row, column);
  } else if (definition.type == kFieldDate) {
    console.Write(FormatDate(ParseDate(entry), 0, "dma"));
  } else if (!definition.options.empty()) {
    const size_t width = static_cast<size_t>(definition.option_width + definition.length);
    for (const EditOption& option : definition.options) {
      std::string code = option.code;
      code.resize(entry.size(), ' ');
      if (code != entry) continue;
      std::string shown = option.text.substr(0, width);
      shown.resize(width, ' ');
      console.Write(shown);
      break;
    }
  } else if (definition.line_width != 0) {
    const size_t width = static_cast<size_t>(definition.line_width);
    for (size_t from = 0, line = 0; from < entry.size(); from += width, ++line) {
      console.SetCursor(row + static_cast<int>(line), column);
      console.Write(entry.substr(from, width));
    }
  } else {
    console.Write(entry);
  }
}

bool EntryFits(int screen, int field, std::string_view text) {
  const FormField& definition = FieldAt(screen, field);
  if (definition.type == kFieldDate) {
    int64_t year = 0;
    bool short_year = false;
    // Years past 9999 pass the calendar's checks but cannot be packed: refused, not cut.
    return !ValidateDateText(text) && TypedDateYear(text, &year, &short_year) &&
           year <= kLastDateYear;
  }
  if (definition.type == kFieldDottedCode) return !ValidateDottedCode(text);
  if (definition.options.empty()) return true;
  std::string entry(text.substr(0, static_cast<size_t>(definition.length)));
  entry.resize(static_cast<size_t>(definition.length), ' ');
  for (const EditOption& option : definition.options) {
    std::string code = option.code;
    code.resize(entry.size(), ' ');
    if (code == entry) return true;
  }
  return false;
}

int16_t CheckField(Console& console, int screen, std::string_view text, int field,
                   int16_t /*key*/) {
  const FormField& definition = FieldAt(screen, field);
  std::string checked(text);
  if (definition.type == kFieldDate && IsAllChar(checked, ' ')) {
    checked = DateEditText(Session().working_date);
  }
  // Option lists are not checked here: the editor only ever leaves one of their codes.
  if (definition.type == kFieldDate || definition.type == kFieldDottedCode) {
    if (!EntryFits(screen, field, checked)) return -1;
  }
  SetEntryText(screen, field, checked);
  ShowField(console, screen, field);
  return 0;
}

const EntryState& CurrentEntry() { return State().entry; }

void ResetFormEntry() {
  State().last_left = 0;
  State().entry = EntryState();
}

}  // namespace quarnell
