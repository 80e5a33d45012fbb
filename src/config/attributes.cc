#include "config/attributes.h"

#include <vector>

namespace quarnell {
namespace {

constexpr ColourTable kDefaultColours = {{{15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7}}};

ColourTable colours = kDefaultColours;
int current_set = 0;
std::vector<int> saved_sets;

// The number in a two-character slice of the colour text: blanks skipped, then digits. A slice past
// the end of a short text is empty and counts as 0; a sign or another character ends the number,
// so no colour comes out negative.
int ColourNumber(std::string_view digits, size_t position) {
  if (position >= digits.size()) return 0;
  std::string_view slice = digits.substr(position, 2);
  size_t i = 0;
  while (i < slice.size() && slice[i] == ' ') ++i;
  int number = 0;
  for (; i < slice.size() && slice[i] >= '0' && slice[i] <= '9'; ++i) {
    number = number * 10 + (slice[i] - '0');
  }
  return number;
}

}  // namespace

void LoadColourTable(std::string_view digits) {
  for (size_t set = 0; set < colours.size(); ++set) {
    int foreground = ColourNumber(digits, set * 4);
    int background = ColourNumber(digits, set * 4 + 2);
    // The console has 16 colours; a larger number keeps the colour the set had.
    if (foreground < 16) colours[set].foreground = foreground;
    if (background < 16) colours[set].background = background;
  }
}

const ColourTable& Colours() { return colours; }

void ResetColourTable() { colours = kDefaultColours; }

void SetAttribute(std::string& code) {
  for (char& c : code) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (code.find_first_not_of(' ') == std::string::npos) return;

  if (code.find('+') != std::string::npos) saved_sets.push_back(current_set);
  int next_set;
  if (code.find('-') != std::string::npos) {
    if (saved_sets.empty()) {
      next_set = 0;
    } else {
      next_set = saved_sets.back();
      saved_sets.pop_back();
    }
  } else if (code.find('U') != std::string::npos) {
    next_set = 4;
  } else {
    next_set = (code.find('R') != std::string::npos ? 2 : 0) +
               (code.find('N') != std::string::npos ? 1 : 0);
  }
  current_set = next_set;
}

void SetAttribute(std::string_view code) {
  std::string copy(code);
  SetAttribute(copy);
}

ColourPair CurrentColours() { return colours[static_cast<size_t>(current_set)]; }

int CurrentAttributeSet() { return current_set; }

void ResetAttributes() {
  current_set = 0;
  saved_sets.clear();
}

}  // namespace quarnell
