// Key codes as the program receives them: a key that produces a character gives its code page 850
// code; a key without a character gives its keyboard scan code x 256; a mouse click gives
// -(column x 100 + row). Key lists in forms name these codes in hexadecimal ("d,1b,4800").
#ifndef QUARNELL_SCREEN_KEY_CODES_H_
#define QUARNELL_SCREEN_KEY_CODES_H_

#include <cstdint>

namespace quarnell {

inline constexpr int16_t kKeyCtrlC = 3;
inline constexpr int16_t kKeyBackspace = 8;
inline constexpr int16_t kKeyTab = 9;
inline constexpr int16_t kKeyEnter = 13;
inline constexpr int16_t kKeyCtrlV = 22;
inline constexpr int16_t kKeyCtrlY = 25;
inline constexpr int16_t kKeyEsc = 27;

inline constexpr int16_t kKeyF1 = 0x3B00;
inline constexpr int16_t kKeyF2 = 0x3C00;
inline constexpr int16_t kKeyF3 = 0x3D00;
inline constexpr int16_t kKeyF4 = 0x3E00;
inline constexpr int16_t kKeyF10 = 0x4400;
inline constexpr int16_t kKeyCtrlF4 = 0x6100;
inline constexpr int16_t kKeyAltF4 = 0x6B00;
inline constexpr int16_t kKeyShiftTab = 0x0F00;
inline constexpr int16_t kKeyHome = 0x4700;
inline constexpr int16_t kKeyUp = 0x4800;
inline constexpr int16_t kKeyPageUp = 0x4900;
inline constexpr int16_t kKeyLeft = 0x4B00;
inline constexpr int16_t kKeyRight = 0x4D00;
inline constexpr int16_t kKeyEnd = 0x4F00;
inline constexpr int16_t kKeyDown = 0x5000;
inline constexpr int16_t kKeyPageDown = 0x5100;
inline constexpr int16_t kKeyInsert = 0x5200;
inline constexpr int16_t kKeyDelete = 0x5300;
inline constexpr int16_t kKeyCtrlLeft = 0x7300;
inline constexpr int16_t kKeyCtrlRight = 0x7400;
inline constexpr int16_t kKeyCtrlHome = 0x7700;
inline constexpr int16_t kKeyAltF = 0x2100;
inline constexpr int16_t kKeyAltX = 0x2D00;
inline constexpr int16_t kKeyAltC = 0x2E00;

// The code of a click on the cell at (row, column), screen coordinates.
constexpr int16_t MouseClickCode(int row, int column) {
  return static_cast<int16_t>(-(column * 100 + row));
}
// Scan codes from 0x80 up (Ctrl+PgUp 0x8400) are negative as 16-bit values too, but all lie
// below -10000, where no click can be.
constexpr bool IsMouseClick(int16_t key) { return key < 0 && key > -10000; }
constexpr int ClickRow(int16_t key) { return (-key) % 100; }
constexpr int ClickColumn(int16_t key) { return (-key) / 100; }

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_KEY_CODES_H_
