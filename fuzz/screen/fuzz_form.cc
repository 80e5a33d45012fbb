// The form-file reader over arbitrary bytes: a file it accepts describes screens that fit the
// 25 x 80 screen and name only screens and pick lists that exist.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "screen/form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quarnell::FormDefinition form;
  std::string error;
  if (!quarnell::ParseForm(bytes, &form, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  const int screens = static_cast<int>(form.screens.size());
  const int browses = static_cast<int>(form.browses.size());
  if (screens < 1) abort();
  for (const quarnell::FormScreen& screen : form.screens) {
    if (screen.linked < 0 || screen.linked > screens) abort();
    const quarnell::WindowRect& box = screen.window;
    if (box.top != 0 &&
        (box.bottom > quarnell::kScreenRows || box.right > quarnell::kScreenColumns ||
         box.top >= box.bottom || box.left >= box.right || box.left < 1)) {
      abort();
    }
    if (static_cast<int>(screen.fields.size()) > form.largest_field_count) abort();
    for (const quarnell::FormField& field : screen.fields) {
      if (field.length < 1 || static_cast<int>(field.entry.size()) != field.length) abort();
      if (field.browse < 0 || field.browse > browses) abort();
      if (field.label.find('\t') != std::string::npos) abort();
    }
  }
  return 0;
}
