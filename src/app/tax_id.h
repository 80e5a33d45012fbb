// Spanish tax identifiers as owners' records hold them: the country prefix "ES" followed by a NIF
// (eight digits and a check letter; K, L or M, seven digits and a check letter), a NIE (X, Y or Z,
// seven digits and a check letter) or a CIF (an organisation letter, seven digits and a check
// digit or letter).
#ifndef QUARNELL_APP_TAX_ID_H_
#define QUARNELL_APP_TAX_ID_H_

#include <string>
#include <string_view>

namespace quarnell {

// Why the stored identifier (blank-padded, with its country prefix) is not a valid Spanish one:
// "it does not begin with ES", "... is not a NIF, NIE or CIF", "the check letter should be Z",
// ...; the empty text when it is valid. A blank identifier gives "it is blank".
std::string SpanishTaxIdProblem(std::string_view stored);

}  // namespace quarnell

#endif  // QUARNELL_APP_TAX_ID_H_
