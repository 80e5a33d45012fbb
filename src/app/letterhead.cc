#include "app/letterhead.h"

#include "config/ini.h"
#include "config/session.h"

namespace quarnell {
namespace {

Letterhead agency_letterhead;

}  // namespace

std::string NormalizeAgencyTaxId(std::string_view stored) {
  std::string cleaned;
  for (char c : stored) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) cleaned += c;
  }
  if (cleaned.empty()) return cleaned;
  if (cleaned.size() == 11 && cleaned.starts_with("ES")) return cleaned;
  return "ES" + cleaned;
}

Letterhead ReadLetterhead() {
  const std::string file = Session().root_directory + "Tova.ini";
  Letterhead letterhead;
  for (size_t i = 0; i < letterhead.texts.size(); ++i) {
    letterhead.texts[i] = ReadIni(file, "Empresa", "Text" + std::to_string(i + 1));
  }
  letterhead.texts[6] = NormalizeAgencyTaxId(letterhead.texts[6]);
  return letterhead;
}

void LoadLetterhead() { agency_letterhead = ReadLetterhead(); }

const Letterhead& AgencyLetterhead() { return agency_letterhead; }

}  // namespace quarnell
