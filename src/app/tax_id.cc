#include "app/tax_id.h"

#include <string>
#include <string_view>

namespace quarnell {
namespace {

constexpr std::string_view kNifLetters = "TRWAGMYFPDXBNJZSQVHLCKE";
// Organisations whose CIF ends in a letter, and those whose CIF ends in a digit; the others may
// end in either.
constexpr std::string_view kCifLetterOnly = "NPQRSW";
constexpr std::string_view kCifDigitOnly = "ABEH";
constexpr std::string_view kCifOrganisations = "ABCDEFGHJNPQRSUVW";
constexpr std::string_view kCifControlLetters = "JABCDEFGHI";

bool AllDigits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

int32_t Number(std::string_view digits) {
  int32_t value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return value;
}

std::string ShouldEndIn(char expected) {
  return std::string("the check character should be ") + expected;
}

// A NIF or NIE body: `digits` and the check letter that follows them.
std::string CheckLetterProblem(std::string_view digits, char letter) {
  const char expected = kNifLetters[static_cast<size_t>(Number(digits) % 23)];
  return letter == expected ? std::string() : ShouldEndIn(expected);
}

std::string CifProblem(std::string_view id) {
  const std::string_view digits = id.substr(1, 7);
  int32_t sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    const int32_t digit = digits[i] - '0';
    // Digits in odd places (the first, third, ...) count doubled, their two digits added.
    sum += i % 2 == 0 ? (2 * digit) / 10 + (2 * digit) % 10 : digit;
  }
  const int32_t control = (10 - sum % 10) % 10;
  const char as_digit = static_cast<char>('0' + control);
  const char as_letter = kCifControlLetters[static_cast<size_t>(control)];
  const char organisation = id[0];
  const char given = id[8];
  if (kCifLetterOnly.find(organisation) != std::string_view::npos) {
    return given == as_letter ? std::string() : ShouldEndIn(as_letter);
  }
  if (kCifDigitOnly.find(organisation) != std::string_view::npos) {
    return given == as_digit ? std::string() : ShouldEndIn(as_digit);
  }
  if (given == as_digit || given == as_letter) return {};
  return ShouldEndIn(as_digit) + " or " + as_letter;
}

}  // namespace

std::string SpanishTaxIdProblem(std::string_view stored) {
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  if (stored.empty()) return "it is blank";
  if (!stored.starts_with("ES")) return "it does not begin with the country prefix ES";
  const std::string_view id = stored.substr(2);
  const std::string not_spanish = "it is not a NIF, NIE or CIF (nine characters after ES)";
  if (id.size() != 9) return not_spanish;
  const char first = id[0];
  const char last = id[8];
  if (AllDigits(id.substr(0, 8))) return CheckLetterProblem(id.substr(0, 8), last);
  if (!AllDigits(id.substr(1, 7))) return not_spanish;
  if (first == 'X' || first == 'Y' || first == 'Z') {
    const std::string digits =
        std::string(1, static_cast<char>('0' + (first - 'X'))) + std::string(id.substr(1, 7));
    return CheckLetterProblem(digits, last);
  }
  if (first == 'K' || first == 'L' || first == 'M') {
    return CheckLetterProblem(id.substr(1, 7), last);
  }
  if (kCifOrganisations.find(first) != std::string_view::npos) return CifProblem(id);
  return not_spanish;
}

}  // namespace quarnell
