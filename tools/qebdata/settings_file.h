// Writing keys of the installation's settings files (Tova.ini, tmp/TovaTerm.ini) for the
// administrator: the letterhead of `init`, the working date of the demo.
#ifndef QUARNELL_TOOLS_QEBDATA_SETTINGS_FILE_H_
#define QUARNELL_TOOLS_QEBDATA_SETTINGS_FILE_H_

#include <string>
#include <string_view>
#include <vector>

namespace quarnell {

struct Setting {
  std::string key;
  std::string value;  // code page 850, without ";" or control characters
};

// Sets each key of `settings` in the first section named `section` of the settings file at
// `host_path`, as the program's reader finds them: the first entry of a key in that section is
// rewritten, a key not there is added after the section's last entry, a missing section is added
// at the end, a missing file is created. Every other line stays as it was, comments included,
// with the file's line ends; a file that reads as UTF-8 gets its values in UTF-8. The file is
// replaced whole (written aside and renamed). Returns false with *error when it cannot be read
// or written; the file is then as it was.
bool SetSettings(const std::string& host_path, std::string_view section,
                 const std::vector<Setting>& settings, std::string* error);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_SETTINGS_FILE_H_
