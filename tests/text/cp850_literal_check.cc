// Compiled by the tests, never linked: a literal with a character missing from code page 850 must
// be rejected by the compiler rather than turn into a wrong byte.
#include <string_view>

#include "text/cp850.h"

using quarnell::operator""_cp850;

constexpr std::string_view kFine = "Català ─ ñ"_cp850;
#ifndef QEB_ONLY_VALID_LITERALS
constexpr std::string_view kEuro = "5 €"_cp850;
#endif

int main() { return static_cast<int>(kFine.size()) == 0; }
