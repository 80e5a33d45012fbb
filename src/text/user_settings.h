// The user's display settings (section Usuari of Tova.ini: DatCaracter, DatOrdre, DecCaracter,
// MilCaracter) are read by the date and number formatters on their first use in a run. The
// formatters sit below the configuration reader, so the configuration start-up installs the
// reader here; until it does, every setting reads as blank and the defaults apply.
#ifndef QUARNELL_TEXT_USER_SETTINGS_H_
#define QUARNELL_TEXT_USER_SETTINGS_H_

#include <functional>
#include <string>
#include <string_view>

namespace quarnell {

using UserSettingReader = std::function<std::string(std::string_view key)>;

// Installs the reader (an empty function restores the blank reader).
void SetUserSettingReader(UserSettingReader reader);

// The raw value of a key of section Usuari, the empty text when unset.
std::string ReadUserSetting(std::string_view key);

// Makes the formatters load their settings again on their next call (tests; a new run).
void ForgetUserSettings();

// Incremented by ForgetUserSettings: a formatter that cached its settings at another
// generation reloads them.
int UserSettingsGeneration();

}  // namespace quarnell

#endif  // QUARNELL_TEXT_USER_SETTINGS_H_
