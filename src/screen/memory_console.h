// The console of the tests: the grid in memory, keys from a script. A test scripts the keys the
// operator will press, runs the real screen code and compares Text() with the screen it expects.
#ifndef QUARNELL_SCREEN_MEMORY_CONSOLE_H_
#define QUARNELL_SCREEN_MEMORY_CONSOLE_H_

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "screen/console.h"

namespace quarnell {

// Thrown by WaitKey when the script has no key left: the code under test waits for a key the test
// did not plan, and ending it with this message (and the screen it was showing) beats a hang.
class ScriptedKeysExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MemoryTerminal : public Terminal {
 public:
  void Show(const ScreenGrid& grid, const CursorState& cursor) override;
  int16_t ReadKey() override;
  bool KeyWaiting() override { return !keys_.empty(); }
  // The script holds the keys the operator presses later, not keys typed ahead, so discarding
  // drops none of them; the calls are counted.
  void DiscardPendingKeys() override { ++discards_; }
  void Bell() override { ++bells_; }
  void Suspend() override { ++suspends_; }
  void Resume() override { ++resumes_; }

  std::deque<int16_t>& keys() { return keys_; }
  int bells() const { return bells_; }
  int discards() const { return discards_; }
  int suspends() const { return suspends_; }
  int resumes() const { return resumes_; }
  int shows() const { return shows_; }
  // When on, each key read keeps the screen as it was when the program waited (GridText with
  // attributes), so that a test can see a box that is gone by the time the code returns.
  void KeepScreensAtKeys(bool on) { keep_screens_ = on; }
  const std::vector<std::string>& screens_at_keys() const { return screens_at_keys_; }
  // When on, every screen brought up to date is kept (GridText), so that a test can see what a
  // long step showed while it ran without waiting for a key.
  void KeepScreensShown(bool on) { keep_shown_ = on; }
  const std::vector<std::string>& screens_shown() const { return screens_shown_; }

 private:
  std::deque<int16_t> keys_;
  const ScreenGrid* shown_ = nullptr;
  bool keep_screens_ = false;
  std::vector<std::string> screens_at_keys_;
  bool keep_shown_ = false;
  std::vector<std::string> screens_shown_;
  int bells_ = 0;
  int discards_ = 0;
  int suspends_ = 0;
  int resumes_ = 0;
  int shows_ = 0;
};

class MemoryConsole : public Console {
 public:
  MemoryConsole();

  // Appends keys to the script, one per later key wait.
  void PressKeys(std::initializer_list<int16_t> keys);
  // Appends the code page 850 characters of `text` (UTF-8 source) as keys.
  void TypeText(std::string_view utf8_text);
  // Keys of the script not yet read.
  size_t KeysLeft() const;

  int Bells() const { return memory_->bells(); }
  int Discards() const { return memory_->discards(); }
  int Suspends() const { return memory_->suspends(); }
  int Resumes() const { return memory_->resumes(); }
  MemoryTerminal& memory() { return *memory_; }

 private:
  MemoryTerminal* memory_;
};

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_MEMORY_CONSOLE_H_
