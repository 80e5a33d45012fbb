// The configuration start-up: environment, user settings, session and terminal files, language,
// platform mode. Read once per run and kept.
#ifndef QUARNELL_CONFIG_SESSION_H_
#define QUARNELL_CONFIG_SESSION_H_

#include <cstdint>
#include <string>

namespace quarnell {

struct SessionSettings {
  std::string root_directory;     // QEBROOT with the directory rule
  std::string program_directory;  // QEBEXE with the directory rule
  std::string
      session_directory;  // QEBTMP with the directory rule; the terminal directory when empty
  std::string terminal_directory;  // [Terminal] Dir, else TERM, with the directory rule
  std::string title;               // [Menu] Titol with a blank before and after
  std::string menu_name;           // [Menu] NomMenu
  std::string menu;                // [Menu] Menu
  std::string menu_chain;          // [Menu] ChnMenu
  std::string operator_name;       // [Menu] Operador
  int16_t operator_type = 0;       // [Menu] QebTipOper
  std::string working_date;        // [Sistema] Data packed with PackDigits; empty when unset
  std::string output_device;       // [Sistema] Sortida
  std::string language;       // first three of [Sistema] Idioma, else of Tova.ini [Usuari] Idioma
  std::string platform_mode;  // "CGI", "WIN" or "DOS"
};

// Reads the environment (the directory rule applies to QEBROOT, QEBEXE and QEBTMP alike), forgets
// the warnings shown so far, performs the session start-up (session file, currency "a,E", terminal
// file with colours, working date, output device and language) and sets the platform mode.
// Installs the Tova.ini reader for the date and number formatters and sets the language code.
// Calling it again reads everything again (tests; a fresh run): colours and the attribute stack
// go back to their defaults and the formatters reload their settings.
// TERM serves as the terminal directory fallback only when it names an existing directory, since
// on this system it normally holds the terminal type ("xterm").
void StartConfiguration();

// The values of the last StartConfiguration (all empty before it).
const SessionSettings& Session();

// The value of an environment variable, the empty text when unset.
std::string EnvironmentValue(const char* name);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_SESSION_H_
