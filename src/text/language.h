// The current language code, shared by every table that comes in four languages (month names,
// the record-file messages, the statement's texts). Any code other than the three translations
// behaves as Catalan.
#ifndef QUARNELL_TEXT_LANGUAGE_H_
#define QUARNELL_TEXT_LANGUAGE_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace quarnell {

enum class Language { kCatalan, kSpanish, kGalician, kAranese };

// The codes of the four languages, in the order of `Language`: Catalan first, the source texts,
// then the three translations a message file holds.
inline constexpr std::array<std::string_view, 4> kLanguageCodes = {"CAT", "SPA", "GLG", "OCI"};

// The code as set: three characters ("CAT", "SPA", "GLG", "OCI") or whatever was set; empty at
// start.
const std::string& LanguageCode();

// Sets the code in force; it is kept as given (callers keep the first three characters).
void SetLanguageCode(std::string_view code);

// The language that the code selects: "SPA", "GLG" and "OCI" their own, anything else Catalan.
Language CurrentLanguage();
Language LanguageOf(std::string_view code);

// The entry of a four-language table for `language`. Tables list their entries in the order of
// `Language`: Catalan, Spanish, Galician, Aranese.
template <class T>
const T& ForLanguage(Language language, const std::array<T, 4>& table) {
  return table[static_cast<size_t>(language)];
}

}  // namespace quarnell

#endif  // QUARNELL_TEXT_LANGUAGE_H_
