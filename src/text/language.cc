#include "text/language.h"

namespace quarnell {
namespace {
std::string current_code;
}  // namespace

const std::string& LanguageCode() { return current_code; }

void SetLanguageCode(std::string_view code) { current_code.assign(code); }

Language LanguageOf(std::string_view code) {
  if (code == "SPA") return Language::kSpanish;
  if (code == "GLG") return Language::kGalician;
  if (code == "OCI") return Language::kAranese;
  return Language::kCatalan;
}

Language CurrentLanguage() { return LanguageOf(current_code); }

}  // namespace quarnell
