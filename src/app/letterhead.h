// The agency's letterhead, printed at the top of the first page of a property whose section asks
// for it: six name and address lines and the agency's tax identifier, from section Empresa of the
// installation's Tova.ini, read once at start-up.
#ifndef QUARNELL_APP_LETTERHEAD_H_
#define QUARNELL_APP_LETTERHEAD_H_

#include <array>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr int kLetterheadTexts = 7;

// The agency name of the letterhead that a new installation ships with: it stands for the name
// the administrator has not written yet, and no statement is printed under it.
inline constexpr std::string_view kPlaceholderAgencyName = "YOUR AGENCY NAME";

struct Letterhead {
  // texts[0] to texts[5]: texts 1 to 6 (name and address lines; text 6 may be blank);
  // texts[6]: text 7, the agency's tax identifier as printed.
  std::array<std::string, kLetterheadTexts> texts;
};

// "ES" followed by the upper-case letters and digits of `stored` (code page 850), everything else
// dropped, so "b-65432109" gives "ESB65432109". A value that already carries the country prefix
// (11 characters beginning "ES" once cleaned, the prefix and a 9-character identifier) is not
// prefixed twice. A blank value stays empty.
std::string NormalizeAgencyTaxId(std::string_view stored);

// Keys Text1 to Text7 of section Empresa of root + "Tova.ini" (a missing file or key gives a blank
// text); text 7 normalised.
Letterhead ReadLetterhead();

// Reads the letterhead once, at start-up, and keeps it for the run (the statement run prints it).
// A missing Tova.ini is told to the operator (a warning; the run goes on). The placeholder of a
// new installation is an error stop naming the file and section to edit: statements must not go
// out under it.
void LoadLetterhead();
// The letterhead of the last LoadLetterhead (blank texts before it).
const Letterhead& AgencyLetterhead();

}  // namespace quarnell

#endif  // QUARNELL_APP_LETTERHEAD_H_
