// Turns the bytes a terminal sends into the program's key codes (key_codes.h). Fed one byte at a
// time, with no I/O of its own, so that its tests feed bytes and compare codes.
//
// It understands what xterm, tmux, screen, rxvt and the Linux console send: CSI and SS3 sequences
// for the function, cursor and editing keys with their Shift, Ctrl and Alt forms, Shift+Tab, mouse
// reports (SGR and X10) for clicks of the left button, Alt+letter as Esc followed by the letter,
// UTF-8 (or, in a locale that is not UTF-8, Latin-1) characters as their code page 850 codes.
#ifndef QUARNELL_SCREEN_KEY_DECODER_H_
#define QUARNELL_SCREEN_KEY_DECODER_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace quarnell {

class KeyDecoder {
 public:
  explicit KeyDecoder(bool utf8) : utf8_(utf8) {}

  // Takes the next byte from the terminal; keys it completes become available to TakeKey.
  void Feed(uint8_t byte);
  // Tells that no byte followed within the escape delay: a lone Esc becomes the key Esc, and an
  // unfinished sequence is dropped.
  void Pause();
  // True while the bytes so far begin a sequence (the reader then waits at most the escape delay
  // for the rest, and calls Pause when nothing comes).
  bool InSequence() const { return state_ != State::kGround; }

  std::optional<int16_t> TakeKey();
  bool HasKey() const { return !keys_.empty(); }
  // Forgets keys not yet taken and any sequence begun.
  void Reset();

 private:
  enum class State { kGround, kEscape, kCsi, kSs3, kLinuxFunction, kX10Mouse, kUtf8 };

  void Ground(uint8_t byte);
  void Escape(uint8_t byte);
  void Csi(uint8_t byte);
  void DispatchCsi(uint8_t final_byte);
  void Utf8(uint8_t byte);
  void X10Mouse(uint8_t byte);
  void Emit(int key);
  void Click(int column, int row);

  bool utf8_;
  State state_ = State::kGround;
  bool alt_prefix_ = false;  // an Esc came before the Esc of the sequence under way
  std::string sequence_;     // parameter and intermediate bytes of a CSI sequence
  char32_t character_ = 0;
  int continuation_bytes_ = 0;
  std::deque<int16_t> keys_;
};

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_KEY_DECODER_H_
