#include "screen/memory_console.h"

#include <memory>
#include <optional>

#include "text/cp850.h"

namespace quarnell {

void MemoryTerminal::Show(const ScreenGrid& grid, const CursorState& /*cursor*/) {
  shown_ = &grid;
  ++shows_;
  if (keep_shown_) screens_shown_.push_back(GridText(grid));
}

int16_t MemoryTerminal::ReadKey() {
  if (keys_.empty()) {
    std::string message = "the scripted keys ran out while the program waited for a key";
    if (shown_ != nullptr) message += "; the screen was:\n" + GridText(*shown_);
    throw ScriptedKeysExhausted(message);
  }
  if (keep_screens_ && shown_ != nullptr) screens_at_keys_.push_back(GridText(*shown_, true));
  int16_t key = keys_.front();
  keys_.pop_front();
  return key;
}

MemoryConsole::MemoryConsole() : Console(std::make_unique<MemoryTerminal>()) {
  memory_ = static_cast<MemoryTerminal*>(&terminal());
}

void MemoryConsole::PressKeys(std::initializer_list<int16_t> keys) {
  memory_->keys().insert(memory_->keys().end(), keys);
}

void MemoryConsole::TypeText(std::string_view utf8_text) {
  std::optional<std::string> bytes = Utf8ToCp850(utf8_text);
  if (!bytes) throw std::invalid_argument("TypeText: not code page 850 text");
  for (char c : *bytes) memory_->keys().push_back(static_cast<int16_t>(static_cast<uint8_t>(c)));
}

size_t MemoryConsole::KeysLeft() const { return memory_->keys().size(); }

}  // namespace quarnell
