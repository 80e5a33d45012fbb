#include "screen/window_stack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"

namespace quarnell {
namespace {

constexpr int64_t kEmptyStackPosition = 5;  // 1-based position of the first block
constexpr int64_t kFieldsLength = 20;       // ten two-digit fields
constexpr int64_t kLengthDigits = 5;
constexpr int64_t kShortestBlock = kFieldsLength + 2 + kLengthDigits;  // one cell

bool OnScreen(const Console& console, const WindowRect& r) {
  return r.top >= 1 && r.left >= 1 && r.bottom <= console.Rows() && r.right <= console.Columns() &&
         r.top <= r.bottom && r.left <= r.right;
}

int64_t CellCount(const WindowRect& r) {
  return static_cast<int64_t>(r.bottom - r.top + 1) * (r.right - r.left + 1);
}

[[noreturn]] void Damaged(const std::string& path) {
  ErrorStop("the window stack file " + path + " is damaged");
}

[[noreturn]] void Unwritable(const std::string& path, int error) {
  ErrorStop("cannot write the window stack file " + path + ": " + std::strerror(error));
}

// The stack file, open for one push or pop and closed when it goes out of scope.
class StackFile {
 public:
  StackFile(std::string path, int flags) : path_(std::move(path)) {
    fd_ = open(path_.c_str(), flags | O_CLOEXEC, 0666);
  }
  ~StackFile() {
    if (fd_ >= 0) close(fd_);
  }
  StackFile(const StackFile&) = delete;
  StackFile& operator=(const StackFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  int64_t Size() const {
    struct stat info;
    return fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
  }

  // `length` bytes at 0-based `offset`; nullopt when the file holds fewer.
  std::optional<std::string> Read(int64_t offset, int64_t length) const {
    std::string bytes(static_cast<size_t>(length), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = pread(fd_, bytes.data() + done, bytes.size() - done, offset + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      done += static_cast<size_t>(n);
    }
    return bytes;
  }

  void Write(int64_t offset, std::string_view bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, offset + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Unwritable(path_, n < 0 ? errno : ENOSPC);
      done += static_cast<size_t>(n);
    }
  }

  // The 1-based position of the next block, checked against the file's size.
  int64_t NextPosition() const {
    std::optional<std::string> bytes = Read(0, 4);
    if (!bytes) Damaged(path_);
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>((*bytes)[i]);
    const int64_t position = value;
    if (position < kEmptyStackPosition || position > Size() + 1) Damaged(path_);
    return position;
  }

  void SetNextPosition(int64_t position) const {
    const auto value = static_cast<uint32_t>(position);
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF),
                           static_cast<char>((value >> 24) & 0xFF)};
    Write(0, std::string_view(bytes, 4));
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Two decimal digits; values that do not fit (a cursor left off the screen) are clamped.
void AppendTwoDigits(std::string& out, int value) {
  value = std::clamp(value, 0, 99);
  out.push_back(static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

void AppendRect(std::string& out, const WindowRect& r) {
  for (int value : {r.top, r.left, r.bottom, r.right}) AppendTwoDigits(out, value);
}

std::string EncodeBlock(const Console& console, const WindowRect& rect) {
  std::string block;
  block.reserve(static_cast<size_t>(kFieldsLength + 2 * CellCount(rect) + kLengthDigits));
  AppendTwoDigits(block, console.CursorRow());
  AppendTwoDigits(block, console.CursorColumn());
  AppendRect(block, console.WindowDepth() > 0 ? console.CurrentWindow() : WindowRect{});
  AppendRect(block, rect);
  for (int row = rect.top; row <= rect.bottom; ++row) {
    for (int column = rect.left; column <= rect.right; ++column) {
      const Cell cell = console.ReadCell(row, column);
      block.push_back(static_cast<char>(cell.character));
      block.push_back(static_cast<char>(cell.attribute));
    }
  }
  char length[kLengthDigits + 1];
  std::snprintf(length, sizeof length, "%05d", static_cast<int>(block.size() + kLengthDigits));
  block.append(length, kLengthDigits);
  return block;
}

// A run of decimal digits as a number; nullopt when any byte is not a digit.
std::optional<int> Digits(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

struct SavedWindow {
  int cursor_row = 0;
  int cursor_column = 0;
  WindowRect previous;
  WindowRect rect;
  std::string_view cells;  // two bytes per cell
};

// The fields of a block, or nullopt when they do not describe a rectangle of the screen whose
// cells fill the block exactly.
std::optional<SavedWindow> DecodeBlock(const Console& console, std::string_view block) {
  std::array<int, 10> fields{};
  for (size_t i = 0; i < fields.size(); ++i) {
    std::optional<int> value = Digits(block.substr(2 * i, 2));
    if (!value) return std::nullopt;
    fields[i] = *value;
  }
  SavedWindow saved;
  saved.cursor_row = fields[0];
  saved.cursor_column = fields[1];
  saved.previous = {fields[2], fields[3], fields[4], fields[5]};
  saved.rect = {fields[6], fields[7], fields[8], fields[9]};
  saved.cells = block.substr(kFieldsLength, block.size() - kFieldsLength - kLengthDigits);
  if (!OnScreen(console, saved.rect)) return std::nullopt;
  if (saved.previous != WindowRect{} && !OnScreen(console, saved.previous)) return std::nullopt;
  if (static_cast<int64_t>(saved.cells.size()) != 2 * CellCount(saved.rect)) return std::nullopt;
  return saved;
}

void RestoreWindow(Console& console, const SavedWindow& saved, int depth) {
  console.SetWindowState(depth > 0 ? saved.previous : WindowRect{}, depth);
  size_t i = 0;
  for (int row = saved.rect.top; row <= saved.rect.bottom; ++row) {
    for (int column = saved.rect.left; column <= saved.rect.right; ++column, i += 2) {
      console.WriteCell(
          row, column,
          Cell{static_cast<uint8_t>(saved.cells[i]), static_cast<uint8_t>(saved.cells[i + 1])});
    }
  }
  console.SetCursorOnScreen(saved.cursor_row, saved.cursor_column);
}

}  // namespace

std::string WindowStackFile(const Console& console) {
  if (!console.WindowStackPath().empty()) return console.WindowStackPath();
  return HostPath(Session().session_directory + kWindowStackFileName);
}

void PushWindow(Console& console, int top, int left, int bottom, int right) {
  const WindowRect rect{top, left, bottom, right};
  if (!OnScreen(console, rect)) return;
  const bool first = console.WindowDepth() == 0;
  // The first push starts a new file: a stale one from an interrupted program is not continued.
  StackFile file(WindowStackFile(console), O_RDWR | O_CREAT | (first ? O_TRUNC : 0));
  if (!file.is_open()) Unwritable(file.path(), errno);
  const int64_t position = first ? kEmptyStackPosition : file.NextPosition();
  const std::string block = EncodeBlock(console, rect);
  file.Write(position - 1, block);
  file.SetNextPosition(position + static_cast<int64_t>(block.size()));
  console.SetWindowState(rect, console.WindowDepth() + 1);
}

void PopWindow(Console& console) {
  if (console.WindowDepth() == 0) return;
  StackFile file(WindowStackFile(console), O_RDWR);
  if (!file.is_open()) Damaged(file.path());
  const int64_t position = file.NextPosition();
  if (position < kEmptyStackPosition + kShortestBlock) Damaged(file.path());
  std::optional<std::string> length_text = file.Read(position - 1 - kLengthDigits, kLengthDigits);
  std::optional<int> length = length_text ? Digits(*length_text) : std::nullopt;
  if (!length || *length < kShortestBlock || position - *length < kEmptyStackPosition) {
    Damaged(file.path());
  }
  const int64_t start = position - *length;
  std::optional<std::string> block = file.Read(start - 1, *length);
  std::optional<SavedWindow> saved = block ? DecodeBlock(console, *block) : std::nullopt;
  if (!saved) Damaged(file.path());

  int depth = console.WindowDepth() - 1;
  if (start < kEmptyStackPosition + 1) {
    // The stack is empty: the file goes, and with it any window the depth still counted.
    if (unlink(file.path().c_str()) != 0 && errno != ENOENT) Unwritable(file.path(), errno);
    depth = 0;
  } else {
    file.SetNextPosition(start);
  }
  RestoreWindow(console, *saved, depth);
}

void DrawFrame(Console& console, int style) {
  struct FrameStyle {
    uint8_t top_left, top_right, bottom_left, bottom_right, horizontal, vertical;
  };
  static constexpr std::array<FrameStyle, 3> kStyles = {{
      {' ', ' ', ' ', ' ', ' ', ' '},
      {218, 191, 192, 217, 196, 179},
      {201, 187, 200, 188, 205, 186},
  }};
  if (style < 0 || style >= static_cast<int>(kStyles.size()) || console.WindowDepth() == 0) return;
  const FrameStyle& s = kStyles[static_cast<size_t>(style)];
  const WindowRect& w = console.CurrentWindow();
  const uint8_t attribute = Console::AttributeInForce();
  for (int row = w.top; row <= w.bottom; ++row) {
    const bool edge = row == w.top || row == w.bottom;
    for (int column = w.left; column <= w.right; ++column) {
      uint8_t character = edge ? s.horizontal : ' ';
      if (column == w.left) {
        character = row == w.top ? s.top_left : row == w.bottom ? s.bottom_left : s.vertical;
      } else if (column == w.right) {
        character = row == w.top ? s.top_right : row == w.bottom ? s.bottom_right : s.vertical;
      }
      console.WriteCell(row, column, Cell{character, attribute});
    }
  }
}

}  // namespace quarnell
