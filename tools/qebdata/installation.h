// An installation root as the program expects it: the shipped data (dictionaries, Tova.ini,
// forms, messages, help), the record files under DADES/ and a session directory tmp/.
#ifndef QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_
#define QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_

#include <string>
#include <vector>

#include "app/record_layouts.h"
#include "tools/qebdata/settings_file.h"

namespace quarnell {

// The host paths of a file's record file and dictionary under `root` (a host directory), with
// the names matched without regard to case when they exist in another case.
std::string RecordFilePath(const std::string& root, const FileLayout& file);
std::string DictionaryPath(const std::string& root, const FileLayout& file);

// What the administrator (or the demo) sets in a new installation instead of the shipped values.
struct InstallationSettings {
  std::vector<Setting> letterhead;  // keys of section Empresa of Tova.ini (Text1 to Text7)
  std::string working_date;         // YYYYMMDD for [Sistema] Data of tmp/TovaTerm.ini
};

// Lays out an installation in `root`, created when missing: copies the shipped data from
// `install_dir` (all of it but the demo agency and the README files; an existing Tova.ini is
// kept, and a new one carries the placeholder letterhead that the statement program refuses),
// creates each missing record file of the thirteen from its dictionary, and a session directory
// tmp/ with Sessio.ini and TovaTerm.ini unless they exist (the terminal file's working date is
// today). Then writes `settings` into Tova.ini and TovaTerm.ini, new or not. Existing record files
// are never touched. Returns false with *error set when something cannot be written; what was
// laid out until then stays.
bool InitInstallation(const std::string& root, const std::string& install_dir,
                      const InstallationSettings& settings, std::string* error);

// The settings of the demo agency, from `install_dir`/demo/agency.ini: its letterhead and a
// working date in the year after its records, so that the default statement date falls on them.
bool DemoSettings(const std::string& install_dir, InstallationSettings* settings,
                  std::string* error);

// Writes the thirteen dictionary files, as the layout table gives them, into `directory`.
bool WriteDictionaries(const std::string& directory, std::string* error);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_
