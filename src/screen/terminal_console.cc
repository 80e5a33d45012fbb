// The one file that talks to curses. Curses draws; the keyboard is read here byte by byte and
// decoded by KeyDecoder, so that every terminal's sequences reach the program as the same codes.
#include "screen/terminal_console.h"

// Curses otherwise defines OK, ERR, clear(), erase(), move(), refresh() and timeout() as macros.
#define NCURSES_NOMACROS
#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string_view>

#include "config/error_stop.h"
#include "screen/console_alerts.h"
#include "screen/key_decoder.h"
#include "text/cp850.h"
#include "text/language.h"

namespace quarnell {
namespace {

constexpr char kMouseOn[] = "\033[?1000h\033[?1006h";
constexpr char kMouseOff[] = "\033[?1006l\033[?1000l";
constexpr int kDefaultEscapeDelay = 40;  // milliseconds

// What a signal handler may use: plain data, set while a terminal console is open.
struct SignalState {
  int input_fd = -1;
  int output_fd = -1;
  struct termios saved_modes {};
  char restore[256] = {};
  size_t restore_length = 0;
  int resize_pipe[2] = {-1, -1};
};
SignalState signal_state;

constexpr std::array<int, 9> kEndingSignals = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGSEGV,
                                               SIGBUS,  SIGFPE, SIGILL, SIGABRT};

void WriteAll(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

// Gives the terminal back with what is safe inside a signal handler, then lets the signal do what
// it does by default (the handler was installed with SA_RESETHAND).
void OnEndingSignal(int signal_number) {
  WriteAll(signal_state.output_fd, signal_state.restore, signal_state.restore_length);
  tcsetattr(signal_state.input_fd, TCSANOW, &signal_state.saved_modes);
  raise(signal_number);
}

void OnResize(int) {
  const int saved_errno = errno;
  const char byte = 1;
  if (write(signal_state.resize_pipe[1], &byte, 1) < 0) {
    // The pipe is full: a redraw is pending anyway.
  }
  errno = saved_errno;
}

// The line characters of the terminal's alternate set for the box-drawing characters, for
// locales that cannot show them; 0 for other characters.
char LineSetLetter(char32_t c) {
  switch (c) {
    case 0x2500:
    case 0x2550:
      return 'q';
    case 0x2502:
    case 0x2551:
      return 'x';
    case 0x250C:
    case 0x2554:
      return 'l';
    case 0x2510:
    case 0x2557:
      return 'k';
    case 0x2514:
    case 0x255A:
      return 'm';
    case 0x2518:
    case 0x255D:
      return 'j';
    case 0x251C:
    case 0x2560:
      return 't';
    case 0x2524:
    case 0x2563:
      return 'u';
    case 0x252C:
    case 0x2566:
      return 'w';
    case 0x2534:
    case 0x2569:
      return 'v';
    case 0x253C:
    case 0x256C:
      return 'n';
    case 0x2591:
    case 0x2592:
    case 0x2593:
      return 'a';
    case 0x2588:
    case 0x2584:
    case 0x2580:
    case 0x25A0:
      return '0';
    default:
      return 0;
  }
}

// Plain ASCII for the upper half of code page 850, for locales that can show neither the
// character nor a line character.
constexpr std::string_view kAsciiHighHalf =
    "CueaaaaceeeiiiAAEaAooouuyOUoLOxfaiounNao?R-?\?!<>###|+AAAC+|++cY+"
    "++++-+aA+++++=+?dDEEEiIII++##|I#OsOOoOupPUUUyY-'-+_?PS/,o\".132# ";
static_assert(kAsciiHighHalf.size() == 128);

// PC colour order (blue is 1, red is 4) to the terminal's (red is 1, blue is 4).
constexpr std::array<short, 8> kTerminalColour = {COLOR_BLACK,  COLOR_BLUE, COLOR_GREEN,
                                                  COLOR_CYAN,   COLOR_RED,  COLOR_MAGENTA,
                                                  COLOR_YELLOW, COLOR_WHITE};

std::string_view TooSmallMessage() {
  static const std::array<std::string_view, 4> kMessages = {
      "Cal una finestra de 80 x 25 com a mínim"_cp850,
      "Hace falta una ventana de 80 x 25 como mínimo"_cp850,
      "Cómpre unha xanela de 80 x 25 como mínimo"_cp850,
      "Cau ua finèstra de 80 x 25 coma mínim"_cp850,
  };
  return ForLanguage(CurrentLanguage(), kMessages);
}

// A string capability of the terminal in use, nullptr when it has none.
const char* TerminalString(const char* name) {
  const char* value = tigetstr(const_cast<char*>(name));
  return value == nullptr || value == reinterpret_cast<char*>(-1) ? nullptr : value;
}

struct Glyph {
  wchar_t wide = L' ';
  chtype line = 0;  // a character of the line set, used instead of `wide` when set
};

class CursesTerminal : public Terminal {
 public:
  CursesTerminal() = default;
  ~CursesTerminal() override { Close(); }

  bool Open(const TerminalOptions& options, std::string* error);
  void Close();

  void Show(const ScreenGrid& grid, const CursorState& cursor) override;
  int16_t ReadKey() override;
  bool KeyWaiting() override;
  void DiscardPendingKeys() override;
  void Bell() override;
  void Suspend() override;
  void Resume() override;

 private:
  void Draw();
  void DrawCell(int row, int column, Cell cell);
  void DrawTooSmall();
  void PrepareGlyphs();
  int PairFor(uint8_t attribute);
  attr_t RenditionFor(uint8_t attribute) const;
  void BuildRestoreSequence();
  void InstallSignalHandlers();
  void RestoreSignalHandlers();
  void CheckSize();
  // Waits up to `timeout_ms` (-1: for ever) for input or a resize and handles what came; false
  // when nothing came.
  bool WaitForInput(int timeout_ms);
  void ReadInput();

  bool open_ = false;
  bool handle_signals_ = false;
  int input_fd_ = -1;
  int output_fd_ = -1;
  FILE* input_file_ = nullptr;
  FILE* output_file_ = nullptr;
  SCREEN* screen_ = nullptr;
  bool utf8_ = false;
  int escape_delay_ = kDefaultEscapeDelay;
  KeyDecoder decoder_{true};
  std::array<Glyph, 256> glyphs_{};
  std::array<int, 256> pairs_{};
  int next_pair_ = 1;
  int colours_ = 0;
  ScreenGrid shown_{};
  ScreenGrid drawn_{};
  CursorState cursor_;
  bool full_redraw_ = true;
  bool too_small_ = false;
  const char* cursor_shape_ = nullptr;  // the terminal's Ss string, when it has one
  const char* cursor_reset_ = nullptr;  // its Se
  std::optional<CursorShape> shape_set_;
  std::array<struct sigaction, kEndingSignals.size()> previous_actions_{};
  struct sigaction previous_resize_action_ {};
};

CursesTerminal* open_terminal = nullptr;

void RestoreAtExit() {
  if (open_terminal != nullptr) open_terminal->Close();
}

bool CursesTerminal::Open(const TerminalOptions& options, std::string* error) {
  if (!isatty(options.input_fd) || !isatty(options.output_fd)) {
    *error = "the screen needs a terminal on standard input and output";
    return false;
  }
  input_fd_ = options.input_fd;
  output_fd_ = options.output_fd;
  // Only the character type: numbers and dates keep the program's own formats.
  std::setlocale(LC_CTYPE, "");
  utf8_ = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  decoder_ = KeyDecoder(utf8_);
  if (const char* delay = std::getenv("ESCDELAY"); delay != nullptr && *delay != '\0') {
    escape_delay_ = std::clamp(std::atoi(delay), 1, 1000);
  }

  tcgetattr(input_fd_, &signal_state.saved_modes);
  input_file_ = fdopen(dup(input_fd_), "r");
  output_file_ = fdopen(dup(output_fd_), "w");
  screen_ = input_file_ && output_file_ ? newterm(nullptr, output_file_, input_file_) : nullptr;
  if (screen_ == nullptr) {
    const char* term = std::getenv("TERM");
    *error = std::string("cannot use the terminal type \"") + (term ? term : "") + "\"";
    if (input_file_) fclose(input_file_);
    if (output_file_) fclose(output_file_);
    input_file_ = output_file_ = nullptr;
    return false;
  }
  set_term(screen_);
  raw();
  noecho();
  nonl();
  keypad(stdscr, FALSE);
  intrflush(stdscr, FALSE);
  leaveok(stdscr, FALSE);
  if (has_colors()) {
    start_color();
    colours_ = COLORS;
  }
  PrepareGlyphs();
  cursor_shape_ = TerminalString("Ss");
  cursor_reset_ = TerminalString("Se");
  WriteAll(output_fd_, kMouseOn, sizeof kMouseOn - 1);

  signal_state.input_fd = input_fd_;
  signal_state.output_fd = output_fd_;
  BuildRestoreSequence();
  if (pipe2(signal_state.resize_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    signal_state.resize_pipe[0] = signal_state.resize_pipe[1] = -1;
  }
  handle_signals_ = options.handle_signals;
  InstallSignalHandlers();
  open_ = true;
  open_terminal = this;
  static bool exit_hook = (std::atexit(RestoreAtExit), true);
  (void)exit_hook;
  CheckSize();
  return true;
}

void CursesTerminal::Close() {
  if (!open_) return;
  open_ = false;
  open_terminal = nullptr;
  WriteAll(output_fd_, kMouseOff, sizeof kMouseOff - 1);
  set_term(screen_);
  if (cursor_reset_ != nullptr && shape_set_) putp(cursor_reset_);
  endwin();
  RestoreSignalHandlers();
  delscreen(screen_);
  screen_ = nullptr;
  fclose(input_file_);
  fclose(output_file_);
  for (int& fd : signal_state.resize_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

// The terminal's own strings for leaving the program's screen, gathered while it is safe to ask.
void CursesTerminal::BuildRestoreSequence() {
  std::string restore = kMouseOff;
  for (const char* name : {"sgr0", "cnorm", "Se", "rmkx", "rmcup"}) {
    if (const char* value = TerminalString(name)) restore += value;
  }
  signal_state.restore_length = std::min(restore.size(), sizeof signal_state.restore);
  std::memcpy(signal_state.restore, restore.data(), signal_state.restore_length);
}

void CursesTerminal::InstallSignalHandlers() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnResize;
  action.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &action, &previous_resize_action_);
  if (!handle_signals_) return;
  action.sa_handler = OnEndingSignal;
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (size_t i = 0; i < kEndingSignals.size(); ++i) {
    sigaction(kEndingSignals[i], &action, &previous_actions_[i]);
  }
}

void CursesTerminal::RestoreSignalHandlers() {
  sigaction(SIGWINCH, &previous_resize_action_, nullptr);
  if (!handle_signals_) return;
  for (size_t i = 0; i < kEndingSignals.size(); ++i) {
    sigaction(kEndingSignals[i], &previous_actions_[i], nullptr);
  }
}

void CursesTerminal::PrepareGlyphs() {
  for (int byte = 0; byte < 256; ++byte) {
    Glyph& glyph = glyphs_[static_cast<size_t>(byte)];
    const char32_t c = CellGlyph(static_cast<uint8_t>(byte));
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    if (c < 0x80 || utf8_ ||
        std::wcrtomb(bytes, static_cast<wchar_t>(c), &state) != static_cast<size_t>(-1)) {
      glyph.wide = static_cast<wchar_t>(c);
    } else if (char letter = LineSetLetter(c); letter != 0) {
      glyph.line = NCURSES_ACS(letter);
    } else if (byte < 0x80) {
      glyph.wide = byte == kOptionMarkRight ? L'>' : L'<';  // the option marks
    } else {
      glyph.wide = static_cast<wchar_t>(kAsciiHighHalf[static_cast<size_t>(byte - 0x80)]);
    }
  }
}

// A colour pair per attribute, made when first needed; pair 0 (the terminal's default colours)
// once the terminal has no more.
int CursesTerminal::PairFor(uint8_t attribute) {
  if (colours_ == 0) return 0;
  int& pair = pairs_[attribute];
  if (pair != 0 || next_pair_ >= COLOR_PAIRS) return pair;
  const int foreground = attribute & 0x0F;
  const int background = (attribute >> 4) & 0x0F;
  const bool bright = colours_ >= 16;
  auto colour = [bright](int c) {
    return static_cast<short>(kTerminalColour[static_cast<size_t>(c & 7)] +
                              (bright && c >= 8 ? 8 : 0));
  };
  if (init_pair(static_cast<short>(next_pair_), colour(foreground), colour(background)) == OK) {
    pair = next_pair_++;
  }
  return pair;
}

attr_t CursesTerminal::RenditionFor(uint8_t attribute) const {
  const int foreground = attribute & 0x0F;
  const int background = (attribute >> 4) & 0x0F;
  attr_t rendition = A_NORMAL;
  // Without 16 colours a bright foreground is bold; without colours a light background is reverse.
  if (colours_ < 16 && foreground >= 8) rendition |= A_BOLD;
  if (colours_ == 0 && background != 0) rendition |= A_REVERSE;
  return rendition;
}

void CursesTerminal::DrawCell(int row, int column, Cell cell) {
  const Glyph& glyph = glyphs_[cell.character];
  const attr_t rendition = RenditionFor(cell.attribute);
  const int pair = PairFor(cell.attribute);
  if (glyph.line != 0) {
    wattr_set(stdscr, rendition, static_cast<short>(pair), nullptr);
    mvwaddch(stdscr, row, column, glyph.line);
    return;
  }
  const wchar_t text[2] = {glyph.wide, L'\0'};
  cchar_t c;
  setcchar(&c, text, rendition, static_cast<short>(pair), nullptr);
  mvwadd_wch(stdscr, row, column, &c);
}

void CursesTerminal::Show(const ScreenGrid& grid, const CursorState& cursor) {
  shown_ = grid;
  cursor_ = cursor;
  Draw();
}

void CursesTerminal::Draw() {
  if (too_small_) {
    DrawTooSmall();
    return;
  }
  for (int row = 0; row < kScreenRows; ++row) {
    for (int column = 0; column < kScreenColumns; ++column) {
      const Cell cell = shown_[row][column];
      if (full_redraw_ || drawn_[row][column] != cell) {
        DrawCell(row, column, cell);
        drawn_[row][column] = cell;
      }
    }
  }
  full_redraw_ = false;
  const bool on_grid = cursor_.row >= 1 && cursor_.row <= kScreenRows && cursor_.column >= 1 &&
                       cursor_.column <= kScreenColumns;
  if (cursor_.visible && on_grid) {
    wmove(stdscr, cursor_.row - 1, cursor_.column - 1);
    const bool block = cursor_.shape == CursorShape::kBlock;
    curs_set(block ? 2 : 1);
    // The Linux console sizes the cursor through curs_set; xterm and its kin through Ss: a steady
    // underline normally, a steady block in the insert state, as on the PC.
    if (cursor_shape_ != nullptr && shape_set_ != cursor_.shape) {
      putp(tiparm(cursor_shape_, block ? 2 : 4));
      shape_set_ = cursor_.shape;
    }
  } else {
    curs_set(0);
  }
  wrefresh(stdscr);
}

void CursesTerminal::DrawTooSmall() {
  werase(stdscr);
  std::string message(TooSmallMessage());
  message += " (" + std::to_string(COLS) + " x " + std::to_string(LINES) + ")";
  for (int i = 0; i < static_cast<int>(message.size()) && i < COLS; ++i) {
    DrawCell(0, i, Cell{static_cast<uint8_t>(message[static_cast<size_t>(i)]), 0x07});
  }
  curs_set(0);
  wrefresh(stdscr);
  full_redraw_ = true;
}

void CursesTerminal::CheckSize() {
  struct winsize size {};
  if (ioctl(output_fd_, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0 &&
      (size.ws_row != LINES || size.ws_col != COLS)) {
    resize_term(size.ws_row, size.ws_col);
  }
  too_small_ = LINES < kScreenRows || COLS < kScreenColumns;
  full_redraw_ = true;
  clearok(curscr, TRUE);
}

bool CursesTerminal::WaitForInput(int timeout_ms) {
  struct pollfd fds[2] = {{input_fd_, POLLIN, 0}, {signal_state.resize_pipe[0], POLLIN, 0}};
  const int ready = poll(fds, signal_state.resize_pipe[0] >= 0 ? 2 : 1, timeout_ms);
  if (ready < 0) {
    if (errno != EINTR) ErrorStop(std::string("cannot read the keyboard: ") + std::strerror(errno));
    return true;
  }
  if (ready == 0) return false;
  if (fds[1].revents & POLLIN) {
    char drain[64];
    while (read(signal_state.resize_pipe[0], drain, sizeof drain) > 0) {
    }
    CheckSize();
    Draw();
  }
  if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) ReadInput();
  return true;
}

void CursesTerminal::ReadInput() {
  unsigned char bytes[256];
  const ssize_t n = read(input_fd_, bytes, sizeof bytes);
  if (n == 0) ErrorStop("the terminal was closed");
  if (n < 0) {
    if (errno == EINTR || errno == EAGAIN) return;
    ErrorStop(std::string("cannot read the keyboard: ") + std::strerror(errno));
  }
  for (ssize_t i = 0; i < n; ++i) decoder_.Feed(bytes[i]);
}

int16_t CursesTerminal::ReadKey() {
  for (;;) {
    if (std::optional<int16_t> key = decoder_.TakeKey()) {
      if (!too_small_) return *key;
      continue;  // the operator cannot see what the key would act on
    }
    const bool in_sequence = decoder_.InSequence();
    if (!WaitForInput(in_sequence ? escape_delay_ : -1) && in_sequence) decoder_.Pause();
  }
}

bool CursesTerminal::KeyWaiting() {
  WaitForInput(0);
  if (decoder_.InSequence() && !WaitForInput(escape_delay_)) decoder_.Pause();
  if (too_small_) {
    while (decoder_.TakeKey()) {
    }
  }
  return decoder_.HasKey();
}

void CursesTerminal::DiscardPendingKeys() {
  tcflush(input_fd_, TCIFLUSH);
  decoder_.Reset();
}

void CursesTerminal::Bell() { beep(); }

void CursesTerminal::Suspend() {
  WriteAll(output_fd_, kMouseOff, sizeof kMouseOff - 1);
  endwin();
}

void CursesTerminal::Resume() {
  WriteAll(output_fd_, kMouseOn, sizeof kMouseOn - 1);
  CheckSize();
  Draw();
}

// The console of a terminal: the curses terminal, and the alerts and error stop on its screen.
class TerminalConsole : public Console {
 public:
  explicit TerminalConsole(std::unique_ptr<CursesTerminal> terminal)
      : Console(std::move(terminal)), alerts_(*this) {
    CursesTerminal* curses = static_cast<CursesTerminal*>(&this->terminal());
    SetTerminalRestorer([curses] { curses->Close(); });
  }
  ~TerminalConsole() override { SetTerminalRestorer(nullptr); }

 private:
  ConsoleAlerts alerts_;
};

}  // namespace

std::unique_ptr<Console> OpenTerminalConsole(std::string* error, const TerminalOptions& options) {
  auto terminal = std::make_unique<CursesTerminal>();
  if (!terminal->Open(options, error)) return nullptr;
  return std::make_unique<TerminalConsole>(std::move(terminal));
}

}  // namespace quarnell
