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

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_TRANSLATE_H_
