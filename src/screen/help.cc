#include "screen/help.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "config/attributes.h"
#include "config/child_process.h"
#include "config/paths.h"
#include "config/session.h"
#include "screen/key_codes.h"
#include "screen/message_box.h"
#include "screen/window_stack.h"
#include "text/cp850.h"
#include "text/language.h"

namespace quarnell {
namespace {

constexpr int kHelpTopRow = 4;

std::string_view MissingHelpPrefix() {
  static const std::array<std::string_view, 4> kPrefixes = {
      "NO HI HA AJUDA: ",
      "NO HAY AYUDA: ",
      "NON HAI AXUDA: ",
      "NON I A AJUDA: ",
  };
  return ForLanguage(CurrentLanguage(), kPrefixes);
}

std::string_view CannotStartPrefix() {
  static const std::array<std::string_view, 4> kPrefixes = {
      "NO ES POT ENGEGAR ",
      "NO SE PUEDE INICIAR ",
      "NON SE PODE INICIAR ",
      "NON SE POT ENGEGAR ",
  };
  return ForLanguage(CurrentLanguage(), kPrefixes);
}

// The keys of the viewer, in the bottom line of its frame: a new operator has no other way to
// learn that the page goes on below, or how to leave it.
std::string KeyHint(bool general_help) {
  static const std::array<std::string_view, 4> kPaging = {
      "Re Pàg, Av Pàg: pàgina"_cp850,
      "Re Pág, Av Pág: página"_cp850,
      "Re Pág, Av Pág: páxina"_cp850,
      "Re Pàg, Av Pàg: pagina"_cp850,
  };
  static const std::array<std::string_view, 4> kGeneral = {
      "F1: ajuda general",
      "F1: ayuda general",
      "F1: axuda xeral",
      "F1: ajuda generau",
  };
  static const std::array<std::string_view, 4> kLeave = {
      "Esc: tancar",
      "Esc: cerrar",
      "Esc: pechar",
      "Esc: barrar",
  };
  const Language language = CurrentLanguage();
  std::string hint = " " + std::string(ForLanguage(language, kPaging)) + "   ";
  if (!general_help) hint += std::string(ForLanguage(language, kGeneral)) + "   ";
  return hint + std::string(ForLanguage(language, kLeave)) + " ";
}

// Message boxes are placed by this row.
constexpr int kMessageRow = 12;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool IsGeneralHelp(std::string_view topic) {
  if (topic.size() != kGeneralHelpTopic.size()) return false;
  return std::equal(topic.begin(), topic.end(), kGeneralHelpTopic.begin(),
                    [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; });
}

// The pages of one help file and the line shown first.
class HelpPages {
 public:
  HelpPages(std::string text, int width, int page)
      : text_(std::move(text)),
        width_(width),
        page_(page),
        lines_(static_cast<int>(text_.size() / static_cast<size_t>(width))) {}

  // Moves for a paging key; false for keys that do not page.
  bool Move(int16_t key) {
    const int last_page = std::max(0, lines_ - page_);
    const bool more_below = first_ + page_ < lines_;
    switch (key) {
      case kKeyDown:
        if (more_below) ++first_;
        return true;
      case kKeyUp:
        if (first_ > 0) --first_;
        return true;
      case kKeyPageDown:
        if (more_below) first_ = std::min(first_ + page_, last_page);
        return true;
      case kKeyPageUp:
        first_ = std::max(0, first_ - page_);
        return true;
      case kKeyHome:
        first_ = 0;
        return true;
      case kKeyEnd:
        first_ = last_page;
        return true;
      default:
        return false;
    }
  }

  // Line `i` of the page (0-based), or empty past the end. The frame covers the first and last
  // character of each screen-wide line, so the window shows the characters between them.
  std::string_view Line(int i) const {
    const int line = first_ + i;
    if (line >= lines_) return {};
    return std::string_view(text_).substr(static_cast<size_t>(line) * width_ + 1, width_ - 2);
  }

 private:
  std::string text_;
  size_t width_;
  int page_;
  int lines_;
  int first_ = 0;
};

void DrawPage(Console& console, const HelpPages& pages, int page_lines) {
  const int inner_width = console.Columns() - 2;
  for (int i = 0; i < page_lines; ++i) {
    std::string_view line = pages.Line(i);
    console.SetCursor(i + 1, 1);
    console.Write(line);
    console.WriteBlanks(inner_width - static_cast<int>(line.size()));
  }
}

void ViewHelp(Console& console, std::string_view topic) {
  // The host path is named: it says where the missing page belongs on this system.
  const std::string path =
      HostPath(Session().root_directory + "AJUDA\\" + std::string(topic) + ".HLP");
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) {
    ShowMessageUntilKey(console, std::string(MissingHelpPrefix()) + path, kMessageRow);
    return;
  }
  const int bottom = console.Rows() - 3;
  const int page_lines = bottom - 5;
  HelpPages pages(std::move(*text), console.Columns(), page_lines);

  SetAttribute("+h");
  PushWindow(console, kHelpTopRow, 1, bottom, console.Columns());
  DrawFrame(console, 1);
  const std::string hint = KeyHint(IsGeneralHelp(topic));
  console.SetCursor(bottom - kHelpTopRow, (console.Columns() - static_cast<int>(hint.size())) / 2);
  console.Write(hint);
  SetAttribute("n");
  for (;;) {
    DrawPage(console, pages, page_lines);
    const int16_t key = console.WaitKey();
    if (key == kKeyEsc) break;
    if (key == kKeyF1 && !IsGeneralHelp(topic)) {
      ViewHelp(console, kGeneralHelpTopic);
    } else {
      pages.Move(key);
    }
  }
  PopWindow(console);
  SetAttribute("-");
}

void LaunchHelpPage(Console& console, std::string_view topic) {
  const std::string launcher = HostPath(Session().program_directory + "LANZO");
  const std::string page =
      HostPath(Session().root_directory + "AJUDA\\" + std::string(topic) + ".HTM");
  console.Suspend();
  const ChildExit exit = RunChildProgram(launcher, {page});
  console.Resume();
  if (exit.start_error != 0) {
    ShowMessageUntilKey(console, std::string(CannotStartPrefix()) + launcher, kMessageRow);
  }
}

}  // namespace

void ShowHelp(Console& console, std::string_view topic) {
  if (Session().platform_mode == "WIN") {
    LaunchHelpPage(console, topic);
  } else {
    ViewHelp(console, topic);
  }
}

}  // namespace quarnell
