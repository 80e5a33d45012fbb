#include "screen/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen/key_codes.h"

namespace quarnell {
namespace {

// Feeds `bytes`, then a pause when `pause` is set, and returns every key decoded.
std::vector<int> Decode(const std::string& bytes, bool pause = true, bool utf8 = true) {
  KeyDecoder decoder(utf8);
  for (char c : bytes) decoder.Feed(static_cast<uint8_t>(c));
  if (pause) decoder.Pause();
  std::vector<int> keys;
  // Scan codes from 0x80 up are negative as 16-bit values; compare them as written.
  while (std::optional<int16_t> key = decoder.TakeKey()) {
    keys.push_back(IsMouseClick(*key) ? *key : static_cast<uint16_t>(*key));
  }
  return keys;
}

TEST(KeyDecoderTest, TerminalSequences) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<int> keys;
  };
  const std::vector<Case> cases = {
      {"F1 xterm", "\x1bOP", {0x3B00}},
      {"F1 vt220", "\x1b[11~", {0x3B00}},
      {"F1 linux console", "\x1b[[A", {0x3B00}},
      {"F2 F4", "\x1bOQ\x1bOS", {0x3C00, 0x3E00}},
      {"F5 to F12",
       "\x1b[15~\x1b[17~\x1b[21~\x1b[23~\x1b[24~",
       {0x3F00, 0x4000, 0x4400, 0x8500, 0x8600}},
      {"Ctrl+F4", "\x1b[1;5S", {0x6100}},
      {"Alt+F4", "\x1b[1;3S", {0x6B00}},
      {"Ctrl+F4 vt220 form", "\x1b[14;5~", {0x6100}},
      {"Shift+F1", "\x1b[1;2P", {0x5400}},
      {"arrows", "\x1b[A\x1b[B\x1b[C\x1b[D", {0x4800, 0x5000, 0x4D00, 0x4B00}},
      {"arrows application mode", "\x1bOA\x1bOD", {0x4800, 0x4B00}},
      {"Ctrl+Left Ctrl+Right", "\x1b[1;5D\x1b[1;5C", {0x7300, 0x7400}},
      {"Ctrl+arrows rxvt", "\x1bOd\x1bOc", {0x7300, 0x7400}},
      {"Home End",
       "\x1b[H\x1b[F\x1b[1~\x1b[4~\x1bOH\x1b[7~\x1b[8~",
       {0x4700, 0x4F00, 0x4700, 0x4F00, 0x4700, 0x4700, 0x4F00}},
      {"Ctrl+Home", "\x1b[1;5H\x1b[7^", {0x7700, 0x7700}},
      {"Ins Del PgUp PgDn", "\x1b[2~\x1b[3~\x1b[5~\x1b[6~", {0x5200, 0x5300, 0x4900, 0x5100}},
      {"Shift+Tab", "\x1b[Z", {0x0F00}},
      {"Enter Tab Backspace", "\r\t\x7f\x08", {13, 9, 8, 8}},
      {"keypad Enter", "\x1bOM", {13}},
      {"Ctrl+C Ctrl+V Ctrl+Y", "\x03\x16\x19", {3, 22, 25}},
      {"Alt+X Alt+C Alt+F",
       "\x1bx\x1b"
       "C\x1b"
       "f",
       {0x2D00, 0x2E00, 0x2100}},
      {"Alt+digit",
       "\x1b"
       "1\x1b"
       "0",
       {0x7800, 0x8100}},
      {"lone Esc", "\x1b", {27}},
      {"Esc Esc", "\x1b\x1b", {27, 27}},
      {"Esc Esc Esc", "\x1b\x1b\x1b", {27, 27, 27}},
      {"Alt+F4 rxvt", "\x1b\x1b[14~", {0x6B00}},
      {"Alt+Up rxvt", "\x1b\x1bOA", {0x9800}},
      {"Esc then Alt+X", "\x1b\x1bx", {27, 0x2D00}},
      {"Esc then Enter together", "\x1b\r", {27, 13}},
      {"UTF-8 letters", "a\xc3\xa9\xc3\x87\xc2\xb7", {'a', 0x82, 0x80, 0xFA}},
      {"UTF-8 outside the code page",
       "\xe2\x82\xac"
       "b",
       {'b'}},
      {"broken UTF-8",
       "\xc3"
       "a\xff",
       {'a'}},
      {"SGR click row 3 column 12", "\x1b[<0;12;3M\x1b[<0;12;3m", {-1203}},
      {"SGR click with Ctrl", "\x1b[<16;1;1M", {-101}},
      {"SGR right button, wheel, motion", "\x1b[<2;5;5M\x1b[<64;5;5M\x1b[<32;5;5M", {}},
      {"SGR click off the grid", "\x1b[<0;81;3M\x1b[<0;3;26M", {}},
      {"X10 click", "\x1b[M\x20\x2c\x23\x1b[M\x23\x2c\x23", {-1203}},
      {"unknown sequences", "\x1b[99~\x1b[2J\x1bOz", {}},
      {"endless sequence", "\x1b[" + std::string(40, '1') + "xy", {'y'}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
}

TEST(KeyDecoderTest, EscWaitsForWhatFollows) {
  KeyDecoder decoder(true);
  decoder.Feed(0x1b);
  EXPECT_TRUE(decoder.InSequence());
  EXPECT_FALSE(decoder.HasKey());
  decoder.Feed('[');
  decoder.Feed('6');
  EXPECT_FALSE(decoder.HasKey());
  decoder.Feed('~');
  EXPECT_EQ(decoder.TakeKey(), std::optional<int16_t>(kKeyPageDown));
  EXPECT_FALSE(decoder.InSequence());
  // A sequence cut by the pause is dropped, and what follows decodes afresh.
  decoder.Feed(0x1b);
  decoder.Feed('[');
  decoder.Pause();
  decoder.Feed('z');
  EXPECT_EQ(decoder.TakeKey(), std::optional<int16_t>('z'));
  EXPECT_FALSE(decoder.HasKey());
}

TEST(KeyDecoderTest, Latin1WhenTheLocaleIsNotUtf8) {
  EXPECT_EQ(Decode("\xe9\xc7", true, false), (std::vector<int>{0x82, 0x80}));
}

}  // namespace
}  // namespace quarnell
