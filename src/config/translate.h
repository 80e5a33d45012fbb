// The module's message file and the translation of its Catalan texts.
#ifndef QUARNELL_CONFIG_TRANSLATE_H_
#define QUARNELL_CONFIG_TRANSLATE_H_

#include <string>
#include <string_view>

namespace quarnell {

// The program's module name ("QUARNELL"); it names the message and form files.
void SetModuleName(std::string_view name);
const std::string& ModuleName();

// Another message file base name; empty means the module name.
void SetMessageFileName(std::string_view name);

// The text in the current language: from root + "LOCALE\" + name + ".LNG", or the text itself for
// Catalan, an unknown code, a missing record or an empty file. Creates the file empty when missing.
std::string Translate(std::string_view text);

// Translate for a text every message file of the program has, such as a heading of the statement.
// When the language is not Catalan and a message file that holds translations has no record of
// it (a file cut at the end of a record, or of another version of the program), the operator is
// also told once per version of the file, naming the file and the text, as for a file that cannot
// be read: those texts print in Catalan.
std::string TranslateRequired(std::string_view text);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_TRANSLATE_H_
