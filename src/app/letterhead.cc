#include "app/letterhead.h"

#include "config/alerts.h"
#include "config/error_stop.h"
#include "config/ini.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"

namespace quarnell {
namespace {

Letterhead agency_letterhead;

std::string SettingsFile() { return Session().root_directory + "Tova.ini"; }

bool IsPlaceholder(const Letterhead& letterhead) {
  std::string_view name = letterhead.texts[0];
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name == kPlaceholderAgencyName;
}

[[noreturn]] void RefusePlaceholder(const std::string& host_path) {
  ErrorStop("the agency's letterhead in " + host_path +
            " is still the placeholder of a new installation (Text1=" +
            std::string(kPlaceholderAgencyName) +
            "): write the agency's name, address lines and tax identifier as Text1 to Text7 of "
            "section [Empresa] there, or run qebdata init " +
            PathForCommand(Session().root_directory) +
            " --agency-name NAME --line ADDRESS --tax-id ID");
}

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
  const std::string file = SettingsFile();
  Letterhead letterhead;
  for (size_t i = 0; i < letterhead.texts.size(); ++i) {
    letterhead.texts[i] = ReadIni(file, "Empresa", "Text" + std::to_string(i + 1));
  }
  letterhead.texts[6] = NormalizeAgencyTaxId(letterhead.texts[6]);
  return letterhead;
}

void LoadLetterhead() {
  // The reader says why a file it finds cannot be read; a missing one it passes over in silence,
  // as the session files may well be missing. This one is not.
  const std::string host_path = HostPath(SettingsFile());
  if (ReadSmallFile(host_path, 0).state == FileState::kMissing) {
    WarnOperator(host_path +
                 " is missing: the statements print without the agency's letterhead and tax "
                 "identifier, and dates and amounts with the default separators");
  }
  agency_letterhead = ReadLetterhead();
  if (IsPlaceholder(agency_letterhead)) RefusePlaceholder(host_path);
}

const Letterhead& AgencyLetterhead() { return agency_letterhead; }

}  // namespace quarnell
