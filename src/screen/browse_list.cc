#include "screen/browse_list.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "config/alerts.h"
#include "config/attributes.h"
#include "records/record_files.h"
#include "screen/browse_cache.h"
#include "screen/key_codes.h"
#include "screen/key_input.h"
#include "screen/window_stack.h"

namespace quarnell {
namespace {

constexpr char kListKeys[] = "d,1b,4800,5000,4900,5100,4b00,4d00";
constexpr char kSwitchKey[] = "3e00";
constexpr int kScrollStep = 8;
constexpr int kRecordsBetweenEscChecks = 32;

constexpr char kDoubleTopLeft = '\xC9';
constexpr char kDoubleTopRight = '\xBB';
constexpr char kDoubleHorizontal = '\xCD';
constexpr char kMoreOnTheLeft = '\x11';
constexpr char kMoreOnTheRight = '\x10';

int32_t browse_value = 0;
std::string browse_text;

std::string WithoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// One run of a list: its entries as far as they are known, the window and the keys.
class BrowseRun {
 public:
  BrowseRun(Console& console, const BrowseList& list, BrowseCache& cache)
      : console_(console),
        list_(list),
        cache_(cache),
        rows_(list.frame.bottom - list.frame.top - 1),
        width_(list.frame.right - list.frame.left - 1),
        no_more_(list.file == 0) {}

  // Shows the list and acts on keys until one ends it; returns that key (Enter, Esc or F4).
  int16_t Loop() {
    DrawTopFrame();
    DrawPage();
    for (;;) {
      SetAttribute("u");
      ShowLine(row_, CurrentText());
      const int16_t key = ReadListKey();
      SetAttribute("h");
      ShowLine(row_, CurrentText());
      if (!Move(key)) return key;
    }
  }

  // The entry under the cursor; nullopt for an empty list.
  std::optional<BrowseEntry> Current() {
    if (!Ensure(CurrentIndex())) return std::nullopt;
    return cache_.Read(positions_[CurrentIndex()]);
  }

 private:
  size_t CurrentIndex() const { return top_ + static_cast<size_t>(row_ - 1); }

  std::string CurrentText() {
    std::optional<BrowseEntry> entry = Current();
    return entry ? entry->text : std::string();
  }

  // Acts on a moving key; false for the keys that end the list.
  bool Move(int16_t key) {
    switch (key) {
      case kKeyLeft:
        if (h_ > 1) Scroll(-kScrollStep);
        return true;
      case kKeyRight:
        if (h_ <= widest_overflow_) Scroll(kScrollStep);
        return true;
      case kKeyUp:
        if (CurrentIndex() == 0) return true;
        if (row_ > 1) {
          --row_;
        } else {
          ScrollLines(-1);
        }
        return true;
      case kKeyDown:
        if (!Ensure(CurrentIndex() + 1)) return true;
        if (row_ < rows_) {
          ++row_;
        } else {
          ScrollLines(1);
        }
        return true;
      case kKeyPageUp:
        PageUp();
        return true;
      case kKeyPageDown:
        if (Ensure(top_ + static_cast<size_t>(rows_))) {
          top_ += static_cast<size_t>(rows_);
          DrawPage();
        }
        return true;
      default:
        return false;
    }
  }

  void Scroll(int columns) {
    h_ += columns;
    DrawTopFrame();
    DrawPage();
  }

  void ScrollLines(int lines) {
    top_ = static_cast<size_t>(static_cast<int64_t>(top_) + lines);
    DrawPage();
  }

  // A window back; near the beginning the first line goes to the top and the cursor moves up by
  // what the window could not.
  void PageUp() {
    if (top_ == 0) return;
    const size_t walked = std::min(top_, static_cast<size_t>(rows_));
    top_ -= walked;
    const int short_by = rows_ - static_cast<int>(walked);
    row_ = std::max(1, row_ - short_by);
    DrawPage();
  }

  // Makes entry `index` (0-based) known: from the cache file when it holds it, else from the
  // record file. False when the list has no such entry.
  bool Ensure(size_t index) {
    while (positions_.size() <= index) {
      std::optional<BrowseEntry> entry = cache_.Read(next_position_);
      if (entry) {
        positions_.push_back(entry->position);
        next_position_ = entry->Next();
      } else if (no_more_) {
        return false;
      } else {
        ReadRecords();
      }
    }
    return true;
  }

  // Reads records until one gives a line, which is appended to the cache file, or the range, the
  // file or the operator's patience (Esc while records without a line are passed over) ends.
  void ReadRecords() {
    int16_t status = 0;
    if (!started_) {
      started_ = true;
      GetByKey(list_.file, list_.key_number, list_.start_key, 1, status);
      end_key_ = KeyText(list_.end_key, list_.file);
      if (status != 0 || BeyondEnd()) {
        no_more_ = true;
        return;
      }
    }
    for (int passed_over = 0;; ++passed_over) {
      const std::string text = WithoutTrailingBlanks(list_.line ? list_.line() : std::string());
      const bool appended = !text.empty() && Append(text);
      if (no_more_) return;
      ReadStep(list_.file, 1, status);
      no_more_ = status != 0 || BeyondEnd() || (!appended && EscAfter(passed_over + 1));
      if (appended || no_more_) return;
    }
  }

  bool Append(const std::string& text) {
    const int32_t previous = last_appended_;
    int error = 0;
    const int32_t position = cache_.Append(previous, RecordPosition(list_.file, 0), text, &error);
    if (position == 0) {
      WarnOperator("cannot write the pick list's file " + BrowseCacheFile() + ": " +
                   std::strerror(error) + "; the list ends here");
      no_more_ = true;
      return false;
    }
    last_appended_ = position;
    return true;
  }

  bool BeyondEnd() const {
    return CurrentKeyText(list_.file).substr(0, end_key_.size()) > end_key_;
  }

  // Esc is looked for only while records are passed over without a line, every few records: an
  // ordinary line costs one read, and keys typed meanwhile (a held Down) are the operator's next
  // keys. A key other than Esc found there is dropped.
  bool EscAfter(int passed_over) {
    if (passed_over % kRecordsBetweenEscChecks != 0 || !console_.KeyWaiting()) return false;
    return console_.WaitKey() == kKeyEsc;
  }

  // The next key in the key set (as the set delivers it); other keys are ignored.
  int16_t ReadListKey() {
    for (;;) {
      std::optional<int16_t> delivered = KeySetDelivers(ReadEntryKey(console_));
      if (delivered) return *delivered;
    }
  }

  // The top frame line with the title from column h; a triangle for a corner that hides text.
  void DrawTopFrame() {
    SetAttribute("+n");
    const std::string_view title = list_.title;
    const size_t from = static_cast<size_t>(h_ - 1);
    const std::string_view shown =
        from < title.size() ? title.substr(from, static_cast<size_t>(width_)) : "";
    std::string line(1, h_ == 1 ? kDoubleTopLeft : kMoreOnTheLeft);
    line += shown;
    line.append(static_cast<size_t>(width_) - shown.size(), kDoubleHorizontal);
    const bool hidden_right =
        h_ <= widest_overflow_ || title.size() >= static_cast<size_t>(h_ + width_);
    line += hidden_right ? kMoreOnTheRight : kDoubleTopRight;
    console_.SetCursor(0, 0);
    console_.Write(line);
    SetAttribute("-");
  }

  void ShowLine(int row, std::string_view text) {
    const size_t from = static_cast<size_t>(h_ - 1);
    const std::string_view shown =
        from < text.size() ? text.substr(from, static_cast<size_t>(width_)) : "";
    console_.SetCursor(row, 1);
    console_.Write(shown);
    console_.WriteBlanks(width_ - static_cast<int>(shown.size()));
  }

  // The window's lines from the top entry; the cursor stays on a line that exists.
  void DrawPage() {
    int drawn = 0;
    for (int row = 1; row <= rows_; ++row) {
      const size_t index = top_ + static_cast<size_t>(row - 1);
      std::optional<BrowseEntry> entry;
      if (Ensure(index)) entry = cache_.Read(positions_[index]);
      if (!entry) {
        ShowLine(row, "");
        continue;
      }
      ShowLine(row, entry->text);
      widest_overflow_ = std::max(widest_overflow_, static_cast<int>(entry->text.size()) - width_);
      drawn = row;
    }
    row_ = std::clamp(row_, 1, std::max(1, drawn));
  }

  Console& console_;
  const BrowseList& list_;
  BrowseCache& cache_;
  const int rows_;
  const int width_;
  std::vector<int32_t> positions_;  // of the entries known so far, in list order
  int32_t next_position_ = 1;       // where the entry after the last known one starts
  int32_t last_appended_ = 0;
  bool started_ = false;
  bool no_more_;
  std::string end_key_;
  size_t top_ = 0;  // index of the entry on the window's first line
  int row_ = 1;     // cursor line, 1 to rows
  int h_ = 1;       // first character shown: 1, 9, 17 ...
  int widest_overflow_ = 0;
};

int OpenCache(const BrowseList& list, BrowseCache& cache) {
  const std::string path = BrowseCacheFile();
  const int error = list.file == 0 ? cache.OpenPrepared(path) : cache.Create(path);
  // A prepared list that nobody prepared is an empty list.
  if (error != 0 && !(list.file == 0 && error == ENOENT)) {
    WarnOperator("cannot " + std::string(list.file == 0 ? "read" : "create") +
                 " the pick list's file " + path + ": " + std::strerror(error));
  }
  return error;
}

// What Enter on the current entry gives.
int16_t Pick(const BrowseList& list, const std::optional<BrowseEntry>& entry) {
  if (list.file == 0) {
    browse_value = entry ? entry->value : 0;
    browse_text = entry ? entry->text : std::string();
    return 0;
  }
  if (!entry || entry->value == 0) return kBrowseLeft;
  return static_cast<int16_t>(RecordPosition(list.file, entry->value));
}

}  // namespace

int16_t RunBrowseList(Console& console, const BrowseList& list) {
  const WindowRect& f = list.frame;
  if (f.bottom - f.top < 2 || f.right - f.left < 2) return kBrowseLeft;
  BrowseCache cache;
  const int cache_error = OpenCache(list, cache);
  if (cache_error != 0 && !(list.file == 0 && cache_error == ENOENT)) return kBrowseLeft;

  int16_t status = 0;
  if (list.file > 0) SetLockMode(list.file, "+d", status);
  SetAttribute("+n");
  PushWindow(console, f.top, f.left, f.bottom, f.right);
  DrawFrame(console, 2);
  SetAttribute("h");
  const SavedKeySet keys = SaveKeySet();
  SetKeySet("ea", kListKeys);
  if (list.switch_list) SetKeySet("a", kSwitchKey);

  BrowseRun run(console, list, cache);
  const int16_t key = run.Loop();
  int16_t result = key == kKeyEnter ? Pick(list, run.Current()) : kBrowseLeft;
  cache.Remove();
  if (key == kKeyF4 && list.switch_list) result = list.switch_list(console);

  RestoreKeySet(keys);
  PopWindow(console);
  SetAttribute("-");
  if (list.file > 0) SetLockMode(list.file, "-", status);
  return result;
}

int32_t BrowseValue() { return browse_value; }

const std::string& BrowseText() { return browse_text; }

}  // namespace quarnell
