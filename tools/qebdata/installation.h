// An installation root as the program expects it: the shipped data (dictionaries, Tova.ini,
// forms, messages, help), the record files under DADES/ and a session directory tmp/.
#ifndef QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_
#define QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_

#include <string>

#include "app/record_layouts.h"

namespace quarnell {

// The host paths of a file's record file and dictionary under `root` (a host directory), with
// the names matched without regard to case when they exist in another case.
std::string RecordFilePath(const std::string& root, const FileLayout& file);
std::string DictionaryPath(const std::string& root, const FileLayout& file);

// Lays out an installation in `root`, created when missing: copies the shipped data from
// `install_dir` (all of it but the demo agency and the README files; an existing Tova.ini is
// kept), creates each missing record file of the thirteen from its dictionary, and a session
// directory tmp/ with Sessio.ini and TovaTerm.ini unless they exist (the terminal file's working
// date is today). Existing record files are never touched. Returns false with *error set when
// something cannot be written; what was laid out until then stays.
bool InitInstallation(const std::string& root, const std::string& install_dir, std::string* error);

// Writes the thirteen dictionary files, as the layout table gives them, into `directory`.
bool WriteDictionaries(const std::string& directory, std::string* error);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_INSTALLATION_H_
