// The reader of configuration files ("key=value" lines in [sections], ";" comments).
#ifndef QUARNELL_CONFIG_INI_H_
#define QUARNELL_CONFIG_INI_H_

#include <string>
#include <string_view>

namespace quarnell {

// The value of `key` in the first section named `section` of the file at `path` (a program path,
// turned into a host path here), with enclosing double quotes removed; the empty text when the file
// cannot be read, the section does not exist or the key is not in it. Lines of any length.
std::string ReadIni(std::string_view path, std::string_view section, std::string_view key);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_INI_H_
