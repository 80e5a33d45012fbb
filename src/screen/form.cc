#include "screen/form.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <utility>

#include "config/error_stop.h"
#include "config/item_reader.h"
#include "config/paths.h"
#include "config/translate.h"

namespace quarnell {
namespace {

// Field widths a screen of 25 x 80 can show; anything larger is a damaged file, not a layout.
constexpr int kLargestFieldLength = kScreenRows * kScreenColumns;
constexpr int kLargestCount = 999;

FormDefinition& TheForm() {
  static FormDefinition form;
  return form;
}

class FormParser {
 public:
  FormParser(std::string_view bytes, std::string* error) : reader_(bytes), error_(error) {}

  bool Parse(FormDefinition* form) {
    int16_t screens = 0;
    reader_.SkipCommentLines();
    if (!Number("the number of screens", 1, kLargestCount, &screens) ||
        !Number("the largest field count", 0, kLargestCount, &form->largest_field_count)) {
      return false;
    }
    form->screens.resize(static_cast<size_t>(screens));
    for (FormScreen& screen : form->screens) {
      reader_.SkipCommentLines();
      if (!Screen(form->largest_field_count, &screen)) return false;
    }
    int16_t browses = 0;
    reader_.SkipCommentLines();
    if (!Number("the number of pick lists", 0, kLargestCount, &browses)) return false;
    form->browses.resize(static_cast<size_t>(browses));
    for (FormBrowse& browse : form->browses) {
      reader_.SkipCommentLines();
      if (!Browse(&browse)) return false;
    }
    return References(*form);
  }

 private:
  bool Fail(const std::string& what) {
    *error_ = "line " + std::to_string(reader_.Line()) + ": " + what;
    return false;
  }

  bool Text(const char* what, std::string* text) {
    if (!reader_.Next(*text)) return Fail(std::string(what) + " is missing (the file ends early)");
    std::erase(*text, '\t');
    return true;
  }

  bool Number(const char* what, int minimum, int maximum, int16_t* value) {
    std::string item;
    if (!Text(what, &item)) return false;
    std::string_view digits(item);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int number = 0;
    auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size()) {
      return Fail(std::string(what) + " is not a number: \"" + item + "\"");
    }
    if (number < minimum || number > maximum) {
      return Fail(std::string(what) + " " + std::to_string(number) + " lies outside " +
                  std::to_string(minimum) + " to " + std::to_string(maximum));
    }
    *value = static_cast<int16_t>(number);
    return true;
  }

  bool Window(const char* what, int16_t top, int16_t left, int16_t bottom, int16_t right) {
    if (top >= 1 && left >= 1 && bottom > top && right > left && bottom <= kScreenRows &&
        right <= kScreenColumns) {
      return true;
    }
    return Fail(std::string(what) + " " + std::to_string(top) + "," + std::to_string(left) + "," +
                std::to_string(bottom) + "," + std::to_string(right) +
                " is not a box on the 25 x 80 screen");
  }

  bool Screen(int largest_field_count, FormScreen* screen) {
    int16_t fields = 0;
    int16_t top = 0, left = 0, bottom = 0, right = 0;
    if (!Text("a screen's key list", &screen->key_list) ||
        !Number("a screen's field count", 0, largest_field_count, &fields) ||
        !Number("a linked screen", 0, kLargestCount, &screen->linked) ||
        !Number("a window's top", 0, kScreenRows, &top) ||
        !Number("a window's left", 0, kScreenColumns, &left) ||
        !Number("a window's bottom", 0, kScreenRows, &bottom) ||
        !Number("a window's right", 0, kScreenColumns, &right)) {
      return false;
    }
    if (top != 0 && !Window("the screen's window", top, left, bottom, right)) return false;
    screen->window = top == 0 ? WindowRect{} : WindowRect{top, left, bottom, right};
    screen->fields.resize(static_cast<size_t>(fields));
    for (FormField& field : screen->fields) {
      if (!Field(&field)) return false;
    }
    return true;
  }

  bool Field(FormField* field) {
    if (!Number("a field's row", 1, kScreenRows, &field->row) ||
        !Number("a field's column", 1, kScreenColumns, &field->column) ||
        !Text("a field's label", &field->label) ||
        !Number("a field's length", 1, kLargestFieldLength, &field->length) ||
        !Number("a field's line width", 0, kScreenColumns, &field->line_width) ||
        !Number("a field's option-text width", 0, kScreenColumns, &field->option_width) ||
        !Number("a field's flags", 0, 15, &field->flags) ||
        !Number("a field's type", -32768, 32767, &field->type) ||
        !Number("a field's pick list", 0, kLargestCount, &field->browse) ||
        !Text("a field's option list", &field->option_list)) {
      return false;
    }
    field->entry.assign(static_cast<size_t>(field->length), ' ');
    return true;
  }

  bool Browse(FormBrowse* browse) {
    static constexpr const char* kSlots[] = {
        "a pick list's file number", "a pick list's key number", "a pick list's top",
        "a pick list's left",        "a pick list's bottom",     "a pick list's right",
        "a pick list's screen",      "a pick list's next list"};
    for (int slot = 0; slot <= 6; ++slot) {
      if (!Number(kSlots[slot], -32768, 32767, &browse->slots[slot])) return false;
    }
    if (!Text("a pick list's title", &browse->title) ||
        !Number(kSlots[7], -32768, 32767, &browse->slots[7])) {
      return false;
    }
    const auto& s = browse->slots;
    return Window("the pick list's window", s[2], s[3], s[4], s[5]);
  }

  // Linked screens and pick lists name things that exist.
  bool References(const FormDefinition& form) {
    const int screens = static_cast<int>(form.screens.size());
    const int browses = static_cast<int>(form.browses.size());
    for (int s = 1; s <= screens; ++s) {
      const FormScreen& screen = form.screens[s - 1];
      if (screen.linked < 0 || screen.linked > screens || screen.linked == s) {
        return Fail("screen " + std::to_string(s) + " links to screen " +
                    std::to_string(screen.linked) + ", which it cannot");
      }
      for (size_t f = 0; f < screen.fields.size(); ++f) {
        if (screen.fields[f].browse > browses) {
          return Fail("field " + std::to_string(f + 1) + " of screen " + std::to_string(s) +
                      " names pick list " + std::to_string(screen.fields[f].browse) +
                      ", which does not exist");
        }
      }
    }
    for (int b = 1; b <= browses; ++b) {
      const auto& slots = form.browses[b - 1].slots;
      if (slots[6] < 0 || slots[6] > screens || slots[7] < 0 || slots[7] > browses) {
        return Fail("pick list " + std::to_string(b) +
                    " names a screen or a list that does not exist");
      }
    }
    return true;
  }

  ItemReader reader_;
  std::string* error_;
};

void TranslateForm(FormDefinition& form) {
  for (FormScreen& screen : form.screens) {
    for (FormField& field : screen.fields) {
      field.label = Translate(field.label);
      field.option_list = Translate(field.option_list);
      field.options = ParseOptionList(field.option_list);
    }
  }
  for (FormBrowse& browse : form.browses) browse.title = Translate(browse.title);
}

}  // namespace

bool ParseForm(std::string_view bytes, FormDefinition* form, std::string* error) {
  *form = FormDefinition();
  if (!FormParser(bytes, error).Parse(form)) return false;
  for (FormScreen& screen : form->screens) {
    for (FormField& field : screen.fields) field.options = ParseOptionList(field.option_list);
  }
  return true;
}

std::vector<EditOption> ParseOptionList(std::string_view list) {
  std::vector<EditOption> options;
  size_t bar = list.find('|');
  while (bar != std::string_view::npos) {
    const size_t next = list.find('|', bar + 1);
    std::string_view entry =
        list.substr(bar + 1, next == std::string_view::npos ? next : next - bar - 1);
    const size_t comma = entry.find(',');
    if (comma != std::string_view::npos) {
      options.push_back(
          {std::string(entry.substr(0, comma)), std::string(entry.substr(comma + 1))});
    }
    bar = next;
  }
  return options;
}

void LoadForm(std::string_view path) {
  const std::string host_path = HostPath(path);
  std::ifstream in(host_path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) ErrorStop("cannot read the form file " + host_path);
  FormDefinition form;
  std::string error;
  if (!ParseForm(bytes, &form, &error)) {
    ErrorStop("the form file " + host_path + " is damaged: " + error);
  }
  TranslateForm(form);
  SetForm(std::move(form));
}

void SetForm(FormDefinition form) { TheForm() = std::move(form); }

FormDefinition& Form() { return TheForm(); }

int ScreenCount() { return static_cast<int>(TheForm().screens.size()); }

FormScreen& ScreenAt(int screen) { return TheForm().screens.at(static_cast<size_t>(screen - 1)); }

FormField& FieldAt(int screen, int field) {
  return ScreenAt(screen).fields.at(static_cast<size_t>(field - 1));
}

void SetEntryText(int screen, int field, std::string_view text) {
  FormField& target = FieldAt(screen, field);
  target.entry.assign(text.substr(0, static_cast<size_t>(target.length)));
  target.entry.resize(static_cast<size_t>(target.length), ' ');
}

const std::string& EntryText(int screen, int field) { return FieldAt(screen, field).entry; }

}  // namespace quarnell
