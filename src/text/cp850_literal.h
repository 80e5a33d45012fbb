// The "..."_cp850 literal: UTF-8 source text converted to code page 850 bytes at compile time.
// Included at the end of cp850.h; include that header, not this one.
#ifndef QUARNELL_TEXT_CP850_LITERAL_H_
#define QUARNELL_TEXT_CP850_LITERAL_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace quarnell {
namespace cp850_internal {

// Unicode characters of the bytes 0x80-0xFF. The lower half is ASCII (control codes included).
// This one table serves the compile-time literal and the run-time conversions in cp850.cc.
inline constexpr char32_t kHighHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// The code page 850 byte of `character`, or -1 when the code page lacks it.
constexpr int ByteOf(char32_t character) {
  if (character < 0x80) return static_cast<int>(character);
  for (int i = 0; i < 128; ++i) {
    if (kHighHalf[i] == character) return 0x80 + i;
  }
  return -1;
}

// Decodes one UTF-8 sequence at `text[*pos]` (advancing *pos), or returns a value above 0x10FFFF
// when the bytes are not well-formed UTF-8 (overlong forms and surrogates included).
constexpr char32_t DecodeUtf8(const char* text, size_t size, size_t* pos) {
  constexpr char32_t kBad = 0x110000;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*pos);
  if (lead < 0x80) {
    ++*pos;
    return lead;
  }
  size_t extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return kBad;
  }
  if (size - *pos <= extra) return kBad;
  for (size_t i = 1; i <= extra; ++i) {
    const unsigned char next = byte(*pos + i);
    if ((next & 0xC0) != 0x80) return kBad;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kBad;
  *pos += extra + 1;
  return value;
}

// The source text of a literal, carried as a template argument.
template <size_t N>
struct Utf8Source {
  char text[N] = {};
  constexpr Utf8Source(const char (&source)[N]) {  // NOLINT: implicit by design
    for (size_t i = 0; i < N; ++i) text[i] = source[i];
  }
};

// Not constexpr on purpose: reaching it during constant evaluation makes the literal ill-formed,
// which is how a character missing from the code page becomes a compile error.
inline void CharacterMissingFromCodePage850() {}

// Number of code page 850 bytes of the source text (without its terminating NUL).
template <size_t N>
constexpr size_t ConvertedLength(const Utf8Source<N>& source) {
  size_t count = 0;
  for (size_t pos = 0; pos + 1 < N;) {
    const char32_t character = DecodeUtf8(source.text, N - 1, &pos);
    if (ByteOf(character) < 0) {
      CharacterMissingFromCodePage850();
      return 0;
    }
    ++count;
  }
  return count;
}

}  // namespace cp850_internal

// Code page 850 bytes produced at compile time; NUL-terminated, lives for the whole run.
template <size_t N>
struct Cp850Literal {
  char bytes[N + 1] = {};

  constexpr const char* data() const { return bytes; }
  constexpr const char* c_str() const { return bytes; }
  constexpr size_t size() const { return N; }
  constexpr size_t length() const { return N; }
  constexpr bool empty() const { return N == 0; }
  constexpr std::string_view view() const { return std::string_view(bytes, N); }
  std::string str() const { return std::string(bytes, N); }

  constexpr operator std::string_view() const { return view(); }  // NOLINT: implicit by design
  operator std::string() const { return str(); }                  // NOLINT: implicit by design

  friend constexpr bool operator==(const Cp850Literal& a, std::string_view b) {
    return a.view() == b;
  }
  friend std::string operator+(std::string a, const Cp850Literal& b) {
    return a.append(b.bytes, N);
  }
  friend std::string operator+(const Cp850Literal& a, std::string_view b) {
    std::string out(a.bytes, N);
    return out.append(b);
  }
};

namespace cp850_internal {

template <Utf8Source S>
constexpr auto Convert() {
  constexpr size_t kLength = ConvertedLength(S);
  Cp850Literal<kLength> out;
  size_t written = 0;
  for (size_t pos = 0; pos + 1 < sizeof(S.text);) {
    const char32_t character = DecodeUtf8(S.text, sizeof(S.text) - 1, &pos);
    out.bytes[written++] = static_cast<char>(static_cast<unsigned char>(ByteOf(character)));
  }
  return out;
}

// One object per distinct literal, with static storage, so that views taken from it never dangle.
template <Utf8Source S>
inline constexpr auto kConverted = Convert<S>();

}  // namespace cp850_internal

inline namespace literals {

// "COMPTE D'EXPLOTACIÓ"_cp850: the literal's code page 850 bytes.
template <cp850_internal::Utf8Source S>
constexpr const auto& operator""_cp850() {
  return cp850_internal::kConverted<S>;
}

}  // namespace literals
}  // namespace quarnell

#endif  // QUARNELL_TEXT_CP850_LITERAL_H_
