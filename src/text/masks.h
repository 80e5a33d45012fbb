// Edit masks and number formatting: FormatMask, amounts and the currency state, fixed-field
// number texts, number checks, and the one rounding routine of the program.
#ifndef QUARNELL_TEXT_MASKS_H_
#define QUARNELL_TEXT_MASKS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnell {

// The nearest whole number, ties to even, as a 32-bit integer. Beyond the 32-bit range the result
// saturates at the range's ends; infinite and not-a-number values give 0.
int32_t RoundHalfEven(long double value);

// The value formatted by the mask; always exactly as long as the mask. A value whose digits do not
// fit the mask is written as the plain number right-justified when that fits the mask's length;
// otherwise, and for infinite or not-a-number values, the result is all "!".
std::string FormatMask(std::string_view mask, double value);

// An amount in hundredths of the main currency, in the current output currency, with a mask of
// the given mask's length rebuilt for it.
std::string FormatAmount(std::string_view mask, double hundredths);

// The amount as FormatAmount prints it, in the current output currency and to its decimals, but
// as a plain number for a spreadsheet: no blanks, no thousands separator, "." as the decimal point
// and a leading "-" ("-1234.56", "0.00").
std::string PlainAmount(double hundredths);

// "a,E" sets the main (and output) currency, "x,P" the secondary one, "p" switches the output to
// the secondary currency when set, anything else back to the main currency.
void SetCurrency(std::string_view command);

struct CurrencyState {
  std::string main;
  std::string secondary;
  std::string output;
};
const CurrencyState& Currency();

// The value with all its significant decimals, "." as point, "-" when negative; "" for 0.
std::string NumberText(double value);
// A fixed-width digit field driven by a format such as "8.2", "6.2VS".
std::string FixedNumberText(double value, std::string_view format);
// The value as exactly `width` digits, zero-filled, keeping the last digits; the sign is dropped.
std::string ZeroPad(int64_t value, int width);

// Error flags: true when the text is not acceptable.
bool CheckNumberSyntax(std::string_view text, std::string_view allowed);
bool ValidateNumber(std::string_view text, double minimum, double maximum, int decimals);
bool ValidateDottedCode(std::string_view text);

}  // namespace quarnell

#endif  // QUARNELL_TEXT_MASKS_H_
