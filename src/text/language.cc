#include "text/language.h"

namespace quarnell {
namespace {
std::string current_code;
}  // namespace

const std::string& LanguageCode() { return current_code; }

void SetLanguageCode(std::string_view code) { current_code.assign(code); }

Language LanguageOf(std::string_view code) {
  for (size_t i = 0; i < kLanguageCodes.size(); ++i) {
    if (code == kLanguageCodes[i]) return static_cast<Language>(i);
  }
  return Language::kCatalan;
}

Language CurrentLanguage() { return LanguageOf(current_code); }

}  // namespace quarnell
