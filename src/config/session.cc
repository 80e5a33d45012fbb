#include "config/session.h"

#include <sys/stat.h>

#include <cstdlib>
#include <limits>

#include "config/alerts.h"
#include "config/attributes.h"
#include "config/ini.h"
#include "config/paths.h"
#include "text/dates.h"
#include "text/language.h"
#include "text/masks.h"
#include "text/user_settings.h"

namespace quarnell {
namespace {

SessionSettings settings;

// The leading whole number of a setting, as the menu writes them ("2", " 12"): blanks skipped, an
// optional sign, digits; 0 when there is none; held to the 16-bit range.
int16_t SettingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > 100000) number = 100000;  // past the range already; stop growing
  }
  if (negative) number = -number;
  if (number > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (number < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(number);
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string::npos; }

bool IsDirectory(const std::string& program_path) {
  struct stat info;
  return stat(HostPath(program_path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string PlatformMode() {
  if (!EnvironmentValue("HTTP_USER_AGENT").empty() || !EnvironmentValue("HTTP_ACCEPT").empty()) {
    return "CGI";
  }
  if (!EnvironmentValue("WINDIR").empty() || !EnvironmentValue("SYSTEMROOT").empty()) return "WIN";
  return "DOS";
}

}  // namespace

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

const SessionSettings& Session() { return settings; }

void StartConfiguration() {
  settings = SessionSettings{};
  ResetAttributes();
  ResetColourTable();
  ForgetWarnings();

  // File names are appended to the root and the program directory directly; a value set without
  // its final separator ("/srv/agency") would otherwise name "/srv/agencyTova.ini".
  settings.root_directory = ApplyDirectoryRule(EnvironmentValue("QEBROOT"));
  settings.program_directory = ApplyDirectoryRule(EnvironmentValue("QEBEXE"));
  settings.session_directory = ApplyDirectoryRule(EnvironmentValue("QEBTMP"));

  // The formatters read their settings lazily, on first use; they must find this run's Tova.ini.
  const std::string user_file = settings.root_directory + "Tova.ini";
  SetUserSettingReader(
      [user_file](std::string_view key) { return ReadIni(user_file, "Usuari", key); });
  ForgetUserSettings();

  const std::string session_file = settings.session_directory + "Sessio.ini";
  settings.title = " " + ReadIni(session_file, "Menu", "Titol") + " ";
  settings.menu_name = ReadIni(session_file, "Menu", "NomMenu");
  settings.menu = ReadIni(session_file, "Menu", "Menu");
  settings.menu_chain = ReadIni(session_file, "Menu", "ChnMenu");
  settings.operator_name = ReadIni(session_file, "Menu", "Operador");
  settings.operator_type = SettingNumber(ReadIni(session_file, "Menu", "QebTipOper"));
  std::string terminal = ReadIni(session_file, "Terminal", "Dir");
  if (terminal.empty()) {
    std::string term = EnvironmentValue("TERM");
    if (!term.empty() && IsDirectory(term)) terminal = term;
  }
  settings.terminal_directory = ApplyDirectoryRule(terminal);
  if (settings.session_directory.empty()) {
    settings.session_directory = settings.terminal_directory;
  }

  SetCurrency("a,E");

  const std::string terminal_file = settings.session_directory + "TovaTerm.ini";
  int16_t selection = SettingNumber(ReadIni(terminal_file, "Pantalla", "Seleccio"));
  std::string colour_text = ReadIni(terminal_file, "Pantalla", "Col" + std::to_string(selection));
  if (colour_text.empty()) colour_text = kDefaultColourText;
  LoadColourTable(colour_text);

  std::string date = ReadIni(terminal_file, "Sistema", "Data");
  if (!date.empty()) settings.working_date = PackDigits(date);
  settings.output_device = ReadIni(terminal_file, "Sistema", "Sortida");
  std::string language = ReadIni(terminal_file, "Sistema", "Idioma").substr(0, 3);
  if (IsBlank(language)) language = ReadIni(user_file, "Usuari", "Idioma").substr(0, 3);
  settings.language = language;
  SetLanguageCode(language);

  settings.platform_mode = PlatformMode();
}

}  // namespace quarnell
