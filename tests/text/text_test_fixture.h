// A fixture for the formatters: a fixed date, Catalan, and user settings taken from a map.
#ifndef QUARNELL_TESTS_TEXT_TEXT_TEST_FIXTURE_H_
#define QUARNELL_TESTS_TEXT_TEXT_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "support/fake_clock.h"
#include "text/language.h"
#include "text/user_settings.h"

namespace quarnell::testing {

class TextTest : public ::testing::Test {
 protected:
  TextTest() {
    SetLanguageCode("CAT");
    SetUserSettingReader([this](std::string_view key) {
      const auto it = settings_.find(std::string(key));
      return it == settings_.end() ? std::string() : it->second;
    });
  }
  ~TextTest() override {
    SetUserSettingReader({});
    SetLanguageCode("");
  }

  // Changes a setting as a new run would see it.
  void SetSetting(const std::string& key, const std::string& value) {
    settings_[key] = value;
    ForgetUserSettings();
  }

  FakeClock clock_{20240601};
  std::map<std::string, std::string> settings_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_TEXT_TEXT_TEST_FIXTURE_H_
