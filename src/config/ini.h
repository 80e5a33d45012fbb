// The reader of configuration files ("key=value" lines in [sections], ";" comments).
#ifndef QUARNELL_CONFIG_INI_H_
#define QUARNELL_CONFIG_INI_H_

#include <string>
#include <string_view>

namespace quarnell {

// The value of `key` in the first section named `section` of the file at `path` (a program path,
// turned into a host path here), with enclosing double quotes removed; the empty text when the file
// cannot be read, the section does not exist or the key is not in it. Lines of any length.
//
// Settings files are code page 850, but an editor of this system saves them as UTF-8: a file that
// is valid UTF-8 and holds characters beyond ASCII is read as UTF-8 and converted, each character
// code page 850 lacks becoming "?" with a warning naming the file, the line and the character.
// The file itself is never written. A file that is not a regular file (a FIFO is not even opened
// for waiting), cannot be read or is larger than any settings file gives the empty text with a
// warning; a missing file gives it silently.
std::string ReadIni(std::string_view path, std::string_view section, std::string_view key);

// What one line of a settings file (without its line end) is to the reader.
struct IniLine {
  enum Kind { kNothing, kSection, kEntry };
  Kind kind = kNothing;
  std::string name;        // a section's name or an entry's key, trimmed and upper-cased
  std::string_view value;  // an entry's value as written: after the first "=", up to any ";"
};
IniLine ParseIniLine(std::string_view line);

// A section name or key as ParseIniLine gives it, to compare with.
std::string IniName(std::string_view name);

// Whether the bytes of a settings file are read as UTF-8 (valid UTF-8 with a byte beyond ASCII).
bool ReadsAsUtf8(std::string_view bytes);

// Some editors open a UTF-8 file with this mark; it is no character of the settings.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The largest settings file read; real ones are a few hundred bytes.
inline constexpr size_t kMaxSettingsFileBytes = 1 << 20;

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_INI_H_
