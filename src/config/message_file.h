// The reader of message files: records of four text fields, Catalan first, then Galician, Aranese
// and Spanish. Kept apart from Translate so that it works on bytes alone.
#ifndef QUARNELL_CONFIG_MESSAGE_FILE_H_
#define QUARNELL_CONFIG_MESSAGE_FILE_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

enum MessageField { kCatalanField = 0, kGalicianField = 1, kAraneseField = 2, kSpanishField = 3 };

using MessageRecord = std::array<std::string, 4>;

// The records of a message file, in file order:
// - fields are separated by commas or line ends (LF, CR LF or CR); a field never runs past the end
//   of its line, and a record takes the next four fields whatever the line breaks;
// - leading blanks of a field are skipped; a field that then starts with a double quote runs to the
//   next double quote (commas included) and anything after that quote up to the separator is
//   dropped; an unquoted field keeps its trailing blanks;
// - lines holding only blanks between fields are skipped, while a comma followed by the line end
//   gives an empty field ("Text,Gal,Ara," has an empty Spanish field);
// - a Ctrl-Z byte ends the file; a last record with fewer than four fields is dropped, so it
//   matches nothing, and *cut_short (when given) becomes true.
std::vector<MessageRecord> ParseMessageFile(std::string_view bytes, bool* cut_short = nullptr);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_MESSAGE_FILE_H_
