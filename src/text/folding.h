// Text folding and the small text utilities shared by the application and the screens: the two
// fold tables, dotted codes and their packed form, names stored as surname*prefix, the text stack.
#ifndef QUARNELL_TEXT_FOLDING_H_
#define QUARNELL_TEXT_FOLDING_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {

// true: strip accents to plain capitals (search keys); false: capitals keeping accents.
void SetFoldMode(bool strip_accents);
bool FoldMode();

// Each character from 64 to 237 through the table the fold mode selects; same length.
std::string FoldText(std::string_view text);

std::string DottedToPacked(std::string_view text);
std::string PackedToDotted(std::string_view code);

// A "*" after the first character splits the stored name: the trimmed part after it, a blank
// (none after an apostrophe), the trimmed part before it. "GARCIA LOPEZ*MARIA" -> "MARIA GARCIA
// LOPEZ", "ESTANY*L'" -> "L'ESTANY", "GARCIA*" -> " GARCIA". Without such a "*": trimmed.
std::string ReorderName(std::string_view name);

// true when every byte of `text` is `code` (the empty text included).
bool IsAllChar(std::string_view text, uint8_t code);

void PushText(std::string_view text);
// The most recently pushed text, removed from the stack; the empty text when the stack is empty.
std::string PopText();

}  // namespace quarnell

#endif  // QUARNELL_TEXT_FOLDING_H_
