#include "text/cp850.h"

#include <array>

namespace quarnell {
namespace {

// Reverse of the high half for the characters below U+0100 (most lookups); the rest (box drawing
// and a few letters) are searched in the table.
constexpr std::array<unsigned char, 256> BuildLatin1Reverse() {
  std::array<unsigned char, 256> reverse{};
  for (int i = 0; i < 128; ++i) {
    const char32_t character = cp850_internal::kHighHalf[i];
    if (character < 0x100) reverse[character] = static_cast<unsigned char>(0x80 + i);
  }
  return reverse;
}

constexpr std::array<unsigned char, 256> kLatin1Reverse = BuildLatin1Reverse();

void AppendUtf8(char32_t character, std::string* out) {
  if (character < 0x80) {
    out->push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (character >> 6)));
    out->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    // Every character of the code page lies in the Basic Multilingual Plane.
    out->push_back(static_cast<char>(0xE0 | (character >> 12)));
    out->push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

}  // namespace

char32_t Cp850ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  return cp850_internal::kHighHalf[byte - 0x80];
}

std::optional<unsigned char> UnicodeToCp850(char32_t character) {
  if (character < 0x80) return static_cast<unsigned char>(character);
  if (character < 0x100) {
    const unsigned char byte = kLatin1Reverse[character];
    if (byte == 0) return std::nullopt;
    return byte;
  }
  const int byte = cp850_internal::ByteOf(character);
  if (byte < 0) return std::nullopt;
  return static_cast<unsigned char>(byte);
}

std::string Cp850ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (const char c : text) AppendUtf8(Cp850ToUnicode(static_cast<unsigned char>(c)), &out);
  return out;
}

namespace {

// Converts UTF-8 to code page 850 character by character. `on_missing` is called with the offset
// and the code of each character the code page lacks and decides: the byte to put in its place,
// or nullopt to give up. nullopt when the text is not valid UTF-8 (`bad_offset` then receives the
// offset of the bad byte) or when `on_missing` gives up (the offset of that character).
template <typename OnMissing>
std::optional<std::string> ConvertUtf8(std::string_view text, size_t* bad_offset,
                                       OnMissing on_missing) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    const char32_t character = cp850_internal::DecodeUtf8(text.data(), text.size(), &pos);
    std::optional<unsigned char> byte;
    if (character <= 0x10FFFF) {
      byte = UnicodeToCp850(character);
      if (!byte) byte = on_missing(MissingCharacter{start, character});
    }
    if (!byte) {
      if (bad_offset != nullptr) *bad_offset = start;
      return std::nullopt;
    }
    out.push_back(static_cast<char>(*byte));
  }
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp850(std::string_view text, size_t* bad_offset) {
  return ConvertUtf8(text, bad_offset,
                     [](const MissingCharacter&) { return std::optional<unsigned char>(); });
}

std::optional<std::string> Utf8ToCp850Replacing(std::string_view text, char replacement,
                                                std::vector<MissingCharacter>* missing) {
  return ConvertUtf8(text, nullptr, [&](const MissingCharacter& character) {
    if (missing != nullptr) missing->push_back(character);
    return std::optional<unsigned char>(static_cast<unsigned char>(replacement));
  });
}

}  // namespace quarnell
