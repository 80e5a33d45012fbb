#include "text/user_settings.h"

#include <utility>

namespace quarnell {
namespace {
UserSettingReader reader;
int generation = 0;
}  // namespace

void SetUserSettingReader(UserSettingReader new_reader) {
  reader = std::move(new_reader);
  ++generation;
}

std::string ReadUserSetting(std::string_view key) { return reader ? reader(key) : std::string(); }

void ForgetUserSettings() { ++generation; }

int UserSettingsGeneration() { return generation; }

}  // namespace quarnell
