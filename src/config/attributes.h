// The colour table of the terminal settings and the text-attribute state of SetAttribute.
#ifndef QUARNELL_CONFIG_ATTRIBUTES_H_
#define QUARNELL_CONFIG_ATTRIBUTES_H_

#include <array>
#include <string>
#include <string_view>

namespace quarnell {

struct ColourPair {
  int foreground = 15;
  int background = 0;
};

// Five attribute sets: 0 normal, 1 "N", 2 "R", 3 "R"+"N", 4 "U".
using ColourTable = std::array<ColourPair, 5>;

// Fills the table from a 20-digit text (two digits foreground, two background, per set); digits
// missing count as 0; a colour of 16 or more leaves that colour as it was.
void LoadColourTable(std::string_view digits);
const ColourTable& Colours();

// The colour text used when the terminal file gives none.
inline constexpr std::string_view kDefaultColourText = "15000700000700070007";

// Puts the default colours back (start of a run; tests).
void ResetColourTable();

// Upper-cases `code` in place and changes the current set: "+" pushes the current set, "-" pops
// (set 0 when the stack is empty), "U" selects 4, else 2 for "R" plus 1 for "N". A blank code does
// nothing.
void SetAttribute(std::string& code);
// Convenience for literal codes.
void SetAttribute(std::string_view code);

// The colours the console draws with now, and the current set number.
ColourPair CurrentColours();
int CurrentAttributeSet();

// Back to set 0 with an empty stack (start of a run; tests).
void ResetAttributes();

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_ATTRIBUTES_H_
