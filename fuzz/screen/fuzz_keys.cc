// Terminal input of any kind: the key decoder never reads out of bounds, and every code it gives
// is a key or a click on the 80 x 25 grid. Byte 0xFF stands for a pause of the input.
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "screen/console.h"
#include "screen/key_codes.h"
#include "screen/key_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarnell::KeyDecoder decoder(size > 0 && (data[0] & 1) != 0);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      decoder.Pause();
    } else {
      decoder.Feed(data[i]);
    }
    while (std::optional<int16_t> key = decoder.TakeKey()) {
      if (quarnell::IsMouseClick(*key)) {
        const int row = quarnell::ClickRow(*key);
        const int column = quarnell::ClickColumn(*key);
        if (row < 1 || row > quarnell::kScreenRows || column < 1 ||
            column > quarnell::kScreenColumns) {
          std::abort();
        }
      }
    }
  }
  return 0;
}
