// Code page 850. Every text inside the program is a byte string in this code page; conversion to
// and from UTF-8 happens only at the edges (terminal, CSV, PDF and text rendering).
#ifndef QUARNELL_TEXT_CP850_H_
#define QUARNELL_TEXT_CP850_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

// The Unicode character of a code page 850 byte (0x00-0x1F and 0x7F map to themselves).
char32_t Cp850ToUnicode(unsigned char byte);

// The code page 850 byte of a Unicode character, or nullopt when the code page lacks it.
std::optional<unsigned char> UnicodeToCp850(char32_t character);

std::string Cp850ToUtf8(std::string_view text);

// nullopt when `text` is not valid UTF-8 or holds a character the code page lacks;
// `bad_offset`, when given, receives the byte offset of the first such character.
std::optional<std::string> Utf8ToCp850(std::string_view text, size_t* bad_offset = nullptr);

// A character of a UTF-8 text that code page 850 lacks: its byte offset in the text and its code.
struct MissingCharacter {
  size_t offset = 0;
  char32_t character = 0;
};

// Valid UTF-8 `text` in code page 850, with `replacement` standing for each character the code
// page lacks; those characters are appended to *missing, when given. nullopt when `text` is not
// valid UTF-8.
std::optional<std::string> Utf8ToCp850Replacing(std::string_view text, char replacement,
                                                std::vector<MissingCharacter>* missing);

// Source files are UTF-8; an accented literal is written "COMPTE D'EXPLOTACIÓ"_cp850 and yields
// the code page 850 bytes, converted at compile time (a character the code page lacks does not
// compile). The result converts to std::string_view and std::string.
// (Declared in cp850_literal.h, included here.)

}  // namespace quarnell

#include "text/cp850_literal.h"

#endif  // QUARNELL_TEXT_CP850_H_
