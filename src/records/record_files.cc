#include "records/record_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "config/alerts.h"
#include "config/ini.h"
#include "config/paths.h"
#include "config/session.h"
#include "text/clock.h"
#include "text/cp850.h"
#include "text/language.h"

namespace quarnell {
namespace {

// Key buffers handed to the record manager: 255 bytes for Open, Create, Stat, Get direct and
// the skipping steps; 256 for the reads that copy a record.
constexpr size_t kKeyBufferSize = 255;
constexpr size_t kWaitKeyBufferSize = 256;
constexpr int32_t kOpenRetryMilliseconds = 3000;
// How long an open waits for an exclusive holder before it tells the operator so.
constexpr int32_t kHeldNoticeMilliseconds = 1000;
constexpr int kFatalMessageRow = 12;
constexpr int kLockedMessageRow = 24;
// A program that ends because a record file cannot be used has failed, with or without a screen:
// a script or a menu that starts it must not take that end for a finished run.
constexpr int kFatalAccessExitStatus = 1;

struct FileSlot {
  int16_t file_number = 0;
  std::string name;       // as the application gave it, for messages
  std::string host_path;  // the file on this machine
  std::array<uint8_t, kPositionBlockSize> position_block{};
  std::span<char> record_area;
  int32_t record_length = 0;
  int16_t key_number = 0;
  std::string key_buffer;
  int16_t lock_mode = kLockNone;
  std::string range_low;
  std::string range_high;
};

// Slot 0 only lends its position block to Reset.
std::array<FileSlot, kFileSlots + 1> slots;
// Pairs of (slot, saved lock mode), each a character whose code is the number.
std::string lock_mode_stack;

std::function<void(int)> record_file_exit;
std::function<void()> ordinary_file_closer;

FileSlot* SlotOf(int16_t file_number) {
  int16_t slot = FindFileSlot(file_number);
  return slot > 0 ? &slots[slot] : nullptr;
}

// A text in a blank-filled 255-byte key buffer, ended by a zero byte.
std::array<char, kKeyBufferSize> PathKey(const std::string& path) {
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  std::copy(path.begin(), path.end(), key.begin());
  key[path.size()] = '\0';
  return key;
}

// The owner name passed to Open and Set owner: four characters and a zero byte.
int16_t OwnerCall(int16_t operation, FileSlot& slot, const std::string& path,
                  const std::string& owner) {
  std::array<char, kKeyBufferSize> key = PathKey(path);
  std::array<char, kDataBufferSize> data;
  data.fill(' ');
  std::copy(owner.begin(), owner.end(), data.begin());
  data[owner.size()] = '\0';
  uint32_t length = static_cast<uint32_t>(owner.size() + 1);
  return RecordCall(operation, slot.position_block.data(), data.data(), &length, key.data(),
                    kKeyBufferSize, kOpenNormal);
}

uint16_t Word(std::string_view data, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(data[offset]) |
                               (static_cast<uint8_t>(data[offset + 1]) << 8));
}

// Stat of an open slot: the file's Create data with its record count, empty when the Stat fails
// (a file without keys).
std::string StatOf(FileSlot& slot) {
  std::array<char, kDataBufferSize> data{};
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  uint32_t length = kDataBufferSize;
  int16_t status = RecordCall(kOpStat, slot.position_block.data(), data.data(), &length, key.data(),
                              kKeyBufferSize, 0);
  if (status != kRecordOk && status != kRecordDataBufferShort) return {};
  return std::string(data.data(), std::min<size_t>(length, data.size()));
}

struct KeySegmentInfo {
  uint16_t position = 0;  // 1-based
  uint16_t length = 0;
  uint16_t flags = 0;
};
using KeySegments = std::vector<KeySegmentInfo>;

// The segments of every key of Stat or Create data, and the offset just after the last segment of
// the last key (where the alternate sequence starts). Only what the data holds is read; data
// shorter than the header has no keys.
std::vector<KeySegments> KeysOf(std::string_view data, size_t* end = nullptr) {
  std::vector<KeySegments> keys;
  const int count = data.size() >= kFileHeaderSize ? Word(data, kHeaderKeyCount) : 0;
  size_t offset = kFileHeaderSize;
  for (int k = 0; k < count; ++k) {
    KeySegments& segments = keys.emplace_back();
    bool more = true;
    while (more && offset + kSegmentSize <= data.size()) {
      KeySegmentInfo segment{Word(data, offset + kSegmentPosition),
                             Word(data, offset + kSegmentLength),
                             Word(data, offset + kSegmentFlags)};
      segments.push_back(segment);
      more = (segment.flags & kKeySegmented) != 0;
      offset += kSegmentSize;
    }
  }
  if (end != nullptr) *end = offset;
  return keys;
}

// The flags that decide where a record stands in a key's order; the others (duplicates allowed,
// modifiable) only govern writes, which this program never makes.
constexpr uint16_t kOrderFlags = kKeyBinary | kKeyAlternate | kKeyDescending;

bool SameSegments(const KeySegments& a, const KeySegments& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.position == y.position && x.length == y.length &&
           (x.flags & kOrderFlags) == (y.flags & kOrderFlags);
  });
}

// Copies what the record manager returned into the record area: at most the record length, at
// most the area, whatever length came back.
void CopyToRecordArea(FileSlot& slot, const char* data, uint32_t returned_length) {
  size_t count =
      std::min<size_t>({returned_length, static_cast<size_t>(std::max(0, slot.record_length)),
                        slot.record_area.size(), kDataBufferSize});
  std::memcpy(slot.record_area.data(), data, count);
}

std::string Padded(std::string_view value, size_t length, char fill) {
  std::string padded(value.substr(0, length));
  padded.resize(length, fill);
  return padded;
}

std::string_view LockedFileMessage() {
  static const std::array<std::string_view, 4> kMessages = {
      "FITXER BLOQUEJAT. ESPEREU UN MOMENT.",
      "FICHERO BLOQUEADO. ESPERE UN MOMENTO.",
      "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO.",
      "FICHÈR BLOQUEJAT. ESPERATZ UN MOMENT."_cp850,
  };
  return ForLanguage(CurrentLanguage(), kMessages);
}

std::string_view FatalPrefix() {
  static const std::array<std::string_view, 4> kPrefixes = {
      "NO ES POT ACCEDIR AL FITXER ",
      "NO SE PUEDE ACCEDER AL FICHERO ",
      "NOM SE PODE ACEDER AO FICHEIRO ",
      "NON SE PÒT ACCEDIR ATH FICHÈR "_cp850,
  };
  return ForLanguage(CurrentLanguage(), kPrefixes);
}

// The path as the operator can find it, whatever the current directory.
std::string FullPath(const std::string& host_path) {
  std::error_code ignored;
  const std::filesystem::path full = std::filesystem::absolute(host_path, ignored);
  return full.empty() ? host_path : full.string();
}

// What a status of the record manager means to someone looking at the file on this machine.
std::string StatusMeaning(int16_t status) {
  switch (status) {
    case kRecordFileNotFound:
      return "not found";
    case kRecordIoError:
      return "damaged, or not a record file of this program";
    case kRecordAccessDenied:
      return "no permission to read it, or to write its journal and lock files beside it";
    case kRecordWrongOwner:
      return "protected by an owner name this program does not know";
    case kRecordInvalidFileName:
      return "not a usable record file name (a directory, or a path too long)";
    case kRecordFileLocked:
      return "held by another program";
    case kRecordServerUnavailable:
      return "the database server that [Dades] Servidor of Tova.ini names cannot be reached";
    default:
      return "record manager status " + std::to_string(status);
  }
}

// The line that follows the fatal message without a screen: the file, what went wrong with it,
// and the setting that decides where files are looked for.
std::string Explanation(const std::string& host_path, int16_t status, std::string_view detail) {
  const std::string& root = Session().root_directory;
  const std::string shown_root = root.empty() ? std::string() : PathForCommand(root);
  std::string text = FullPath(host_path) + ": ";
  text += detail.empty() ? StatusMeaning(status) : std::string(detail);
  text += "; check QEBROOT, the installation root (now ";
  text += root.empty() ? "not set: the current directory" : shown_root;
  text += ")";
  if (status == kRecordFileNotFound) {
    text += "; qebdata init " + (root.empty() ? std::string("ROOT") : shown_root) +
            " brings back missing record files, empty";
  }
  return text;
}

// The message, the bell, one key, then the end of the program. `name` is the file as the
// application named it; `detail`, when not empty, says more than the status on what is wrong. A
// failure of a database server adds the server's name and reason, which the operator needs to
// tell its administrator.
void FatalAccess(std::string name, std::string host_path, int16_t status,
                 std::string_view detail = {}) {
  std::string message = std::string(FatalPrefix()) + name + " (" + std::to_string(status) + ")";
  const std::string server_problem = TakeRecordServerMessage();
  if (!server_problem.empty()) message += " " + server_problem;
  OperatorAlerts& alerts = Alerts();
  alerts.ShowMessageBox(message, kFatalMessageRow);
  if (!host_path.empty()) alerts.Explain(Explanation(host_path, status, detail));
  alerts.Bell();
  alerts.DiscardPendingKeys();
  alerts.WaitForKey();
  alerts.PopWindow();
  if (ordinary_file_closer) ordinary_file_closer();
  int16_t reset_status = 0;
  ResetRecordFiles(reset_status);
  if (record_file_exit) {
    record_file_exit(kFatalAccessExitStatus);
  } else {
    std::exit(kFatalAccessExitStatus);
  }
}

// Directory, base and extension by scanning from the end: the first dot of the last component
// starts the extension; without one the extension is ".dat".
std::string NameToPath(std::string_view name) {
  std::string_view directory;
  std::string_view base = name;
  std::string_view extension = ".dat";
  size_t base_end = name.size();
  for (size_t i = name.size(); i-- > 0;) {
    char c = name[i];
    if (c == ':' || c == '\\' || c == '/') {
      directory = name.substr(0, i + 1);
      base = name.substr(i + 1, base_end - (i + 1));
      break;
    }
    if (c == '.') {
      base = name.substr(0, i);
      extension = name.substr(i);
      base_end = i;
    }
  }
  return std::string(directory) + std::string(base) + std::string(extension);
}

// One round of the wait for a file that another program holds exclusively. After the first
// second the operator learns what the program waits for: the locked-file message on the screen,
// and without one a line naming the file.
void WaitForExclusiveHolder(const std::string& host_path, bool& announced) {
  if (announced) {
    CurrentClock().SleepMilliseconds(kOpenRetryMilliseconds);
    return;
  }
  CurrentClock().SleepMilliseconds(kHeldNoticeMilliseconds);
  Alerts().ShowMessageBox(LockedFileMessage(), kLockedMessageRow);
  Alerts().Explain(FullPath(host_path) +
                   " is held exclusively by another program; waiting until it is free");
  announced = true;
  CurrentClock().SleepMilliseconds(kOpenRetryMilliseconds - kHeldNoticeMilliseconds);
}

// An operation that passes no record and no key on the file's own position block; 3 when the
// file is not open.
int16_t PlainCall(int16_t file_number, int16_t operation) {
  FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) return kRecordFileNotOpen;
  uint32_t length = 0;
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  return RecordCall(operation, slot->position_block.data(), nullptr, &length, key.data(),
                    kKeyBufferSize, 0);
}

bool TakesLockBias(int16_t operation) {
  return (operation >= kOpGetEqual && operation <= kOpGetLast) || operation == 19 ||
         (operation >= kOpGetPosition && operation <= 24) || (operation >= 33 && operation <= 35);
}

// The installation root whose storage was last selected, so that a run reads its Tova.ini once.
std::string selected_root;
bool storage_selected = false;

}  // namespace

int16_t SelectRecordStorage(const std::string& root) {
  selected_root = root;
  storage_selected = true;
  const std::string server = ReadIni(root + "Tova.ini", "Dades", "Servidor");
  return SetRecordServer(HostPath(root + "DADES"), server);
}

namespace {

// The storage of the session's installation, chosen before its first open.
int16_t SelectSessionStorage() {
  const std::string& root = Session().root_directory;
  if (root.empty() || (storage_selected && selected_root == root)) return kRecordOk;
  return SelectRecordStorage(root);
}

}  // namespace

std::string OwnerNameA() {
  std::string name;
  for (int piece : {0x51, 0x65, 0x62, 0x31}) name += static_cast<char>(piece);
  return name;
}

std::string OwnerNameB() {
  std::string name;
  for (int piece : {0x4B, 0x72, 0x6E, 0x37}) name += static_cast<char>(piece);
  return name;
}

void SetRecordFileExit(std::function<void(int)> exit_function) {
  record_file_exit = std::move(exit_function);
}

void SetOrdinaryFileCloser(std::function<void()> closer) {
  ordinary_file_closer = std::move(closer);
}

int16_t FindFileSlot(int16_t file_number) {
  if (file_number == 0) return 0;
  // Reads in a loop ask for the same file again and again; a number is in one slot at most.
  static int16_t last_found = 1;
  if (slots[last_found].file_number == file_number) return last_found;
  int16_t free_slot = 0;
  for (int16_t s = 1; s <= kFileSlots; ++s) {
    if (slots[s].file_number == file_number) {
      last_found = s;
      return s;
    }
    if (slots[s].file_number == 0) free_slot = s;
  }
  return static_cast<int16_t>(-free_slot);
}

void KeyInfo(int16_t file_number, int16_t key_number, int16_t& key_length, int32_t& record_length) {
  key_length = 0;
  record_length = 0;
  FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) return;
  const std::string data = StatOf(*slot);
  if (data.size() >= 2) record_length = Word(data, kHeaderRecordLength);
  const std::vector<KeySegments> keys = KeysOf(data);
  if (key_number < 0 || static_cast<size_t>(key_number) >= keys.size()) return;
  int sum = 0;
  for (const KeySegmentInfo& segment : keys[static_cast<size_t>(key_number)]) sum += segment.length;
  key_length = static_cast<int16_t>(std::min(sum, 255));
}

int16_t PerformWithWait(int16_t slot_number, int16_t operation) {
  // Slot 0 only lends its position block to Reset; it never holds a file.
  if (slot_number < 1 || slot_number > kFileSlots) return kRecordFileNotOpen;
  FileSlot& slot = slots[slot_number];
  if (slot.lock_mode != kLockNone && TakesLockBias(operation)) {
    operation = static_cast<int16_t>(operation + kLockBias);
  }
  int tries = 0;
  int16_t status;
  const size_t record_length = std::min<size_t>(std::max(0, slot.record_length), kDataBufferSize);
  for (;;) {
    if (tries == 1) Alerts().ShowMessageBox(LockedFileMessage(), kLockedMessageRow);
    // The record area's bytes, blank beyond the area; nothing reads past the record length.
    std::array<char, kDataBufferSize> data;
    const size_t from_area = std::min(record_length, slot.record_area.size());
    std::memcpy(data.data(), slot.record_area.data(), from_area);
    std::fill(data.begin() + static_cast<ptrdiff_t>(from_area),
              data.begin() + static_cast<ptrdiff_t>(record_length), ' ');
    uint32_t length = static_cast<uint32_t>(record_length);

    std::array<char, kWaitKeyBufferSize> key;
    char fill = ' ';
    if (operation == kOpGetGreater || operation == kOpGetGreaterOrEqual) fill = '\0';
    if (operation == kOpGetLess || operation == kOpGetLessOrEqual) fill = '\xFF';
    key.fill(fill);
    std::copy(slot.key_buffer.begin(), slot.key_buffer.end(), key.begin());
    const size_t key_length = std::min<size_t>(slot.key_buffer.size(), 255);

    status = RecordCall(operation, slot.position_block.data(), data.data(), &length, key.data(),
                        static_cast<uint8_t>(key_length), static_cast<int8_t>(slot.key_number));
    CopyToRecordArea(slot, data.data(), length);
    slot.key_buffer.assign(key.data(), key_length);

    if ((status == kRecordRecordLocked || status == kRecordFileLocked) &&
        slot.lock_mode == kLockAndWait) {
      // Several waiting users retry at spread-out moments.
      double r = CurrentClock().Random();
      CurrentClock().SleepMilliseconds(static_cast<int32_t>(std::lround(10000.0 * r + 1.0)));
      if (tries < 2) ++tries;
      continue;
    }
    break;
  }
  if (tries != 0) Alerts().PopWindow();
  return status;
}

void OpenRecordFile(int16_t file_number, std::string_view name, std::span<char> record_area,
                    int16_t& status) {
  int16_t s = FindFileSlot(file_number);
  // 0 is what every free slot holds: as a file number it is always in use.
  if (s > 0 || file_number == 0) {
    status = kFileNumberInUse;
    return;
  }
  if (s == 0) {
    status = kFileTableFull;
    return;
  }
  FileSlot& slot = slots[-s];
  slot = FileSlot{};
  slot.file_number = file_number;
  slot.name = name;
  slot.host_path = HostPath(NameToPath(name));
  slot.record_area = record_area;

  const std::string& host_path = slot.host_path;
  status = SelectSessionStorage();
  if (status != kRecordOk) {
    FatalAccess(slot.name, host_path, status);
    return;
  }
  if (host_path.size() >= kKeyBufferSize) {
    // The record manager takes the path in a 255-byte buffer with its zero byte.
    status = kRecordInvalidFileName;
    FatalAccess(slot.name, host_path, status);
    return;
  }
  // A missing file is not created here: an empty file in its place would print statements that
  // look complete. Only the data tool creates record files.
  bool announced = false;
  for (;;) {
    status = OwnerCall(kOpOpen, slot, host_path, OwnerNameA());
    if (status == kRecordWrongOwner) status = OwnerCall(kOpOpen, slot, host_path, OwnerNameB());
    if (status != kRecordFileLocked) break;
    WaitForExclusiveHolder(host_path, announced);
  }
  if (announced) Alerts().PopWindow();
  if (status != kRecordOk) {
    FatalAccess(slot.name, host_path, status);
    return;
  }
  int16_t key_length = 0;
  int32_t record_length = 0;
  KeyInfo(file_number, 0, key_length, record_length);
  slot.key_buffer.assign(static_cast<size_t>(key_length), '\0');
  slot.record_length = record_length;
}

void ResetRecordFiles(int16_t& status) {
  uint32_t length = 0;
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  status = RecordCall(kOpReset, slots[0].position_block.data(), nullptr, &length, key.data(),
                      kKeyBufferSize, 0);
  if (status == kRecordOk) {
    for (int s = 1; s <= kFileSlots; ++s) slots[s] = FileSlot{};
  }
}

void SetLockMode(int16_t file_number, std::string_view modes, int16_t& status) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) {
    status = kRecordFileNotOpen;
    return;
  }
  FileSlot& slot = slots[s];
  for (char c : modes) {
    switch (c) {
      case 'D':
      case 'd':
        slot.lock_mode = kLockNone;
        break;
      case 'A':
      case 'a':
        slot.lock_mode = kLockAndWait;
        break;
      case 'B':
      case 'b':
        slot.lock_mode = kLockNoWait;
        break;
      case '+':
        lock_mode_stack += static_cast<char>(s);
        lock_mode_stack += static_cast<char>(slot.lock_mode);
        break;
      case '-':
        for (size_t i = lock_mode_stack.size(); i >= 2; i -= 2) {
          if (lock_mode_stack[i - 2] == static_cast<char>(s)) {
            slot.lock_mode = static_cast<int16_t>(lock_mode_stack[i - 1]);
            lock_mode_stack.erase(i - 2, 2);
            break;
          }
        }
        break;
      default:
        break;
    }
  }
}

int16_t GetByKeyStatus(int16_t file_number, int16_t key_number, std::string_view key,
                       int16_t direction) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) return kRecordFileNotOpen;
  int16_t key_length = 0;
  int32_t record_length = 0;
  KeyInfo(file_number, key_number, key_length, record_length);
  if (key_length == 0) return kUnknownKeyNumber;
  FileSlot& slot = slots[s];
  slot.key_number = key_number;
  slot.key_buffer = Padded(key, static_cast<size_t>(key_length), '\0');
  int16_t operation = direction == 0  ? kOpGetEqual
                      : direction > 0 ? kOpGetGreaterOrEqual
                                      : kOpGetLessOrEqual;
  int16_t status = PerformWithWait(s, operation);
  return status == kRecordDataBufferShort ? kRecordOk : status;
}

void GetByKey(int16_t file_number, int16_t key_number, std::string_view key, int16_t direction,
              int16_t& status) {
  status = GetByKeyStatus(file_number, key_number, key, direction);
}

void ReadStep(int16_t file_number, int16_t count, int16_t& status) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) {
    status = kRecordFileNotOpen;
    return;
  }
  FileSlot& slot = slots[s];
  const int16_t operation = count >= 0 ? kOpGetNext : kOpGetPrevious;
  status = kRecordOk;
  int32_t remaining = std::abs(static_cast<int32_t>(count));
  while (remaining > 1 && status == kRecordOk) {
    std::array<char, kDataBufferSize> data;
    data.fill(' ');
    uint32_t length = kDataBufferSize;
    std::array<char, kKeyBufferSize> key;
    key.fill(' ');
    const size_t own_length = std::min(slot.key_buffer.size(), kKeyBufferSize);
    std::copy_n(slot.key_buffer.begin(), own_length, key.begin());
    status = RecordCall(operation, slot.position_block.data(), data.data(), &length, key.data(),
                        kKeyBufferSize, static_cast<int8_t>(slot.key_number));
    slot.key_buffer.assign(key.data(), own_length);
    if (status == kRecordDataBufferShort) status = kRecordOk;
    --remaining;
  }
  if (remaining != 0 && status == kRecordOk) {
    status = PerformWithWait(s, operation);
    if (status == kRecordDataBufferShort) status = kRecordOk;
  }
}

void SetKeyRange(int16_t file_number, int16_t key_number, std::string_view low,
                 std::string_view high, int16_t& status) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) {
    status = kRecordFileNotOpen;
    return;
  }
  int16_t key_length = 0;
  int32_t record_length = 0;
  KeyInfo(file_number, key_number, key_length, record_length);
  if (key_length == 0) {
    status = kUnknownKeyNumber;
    return;
  }
  FileSlot& slot = slots[s];
  slot.key_number = static_cast<int16_t>(-(key_number + 1));
  slot.range_low = Padded(low, static_cast<size_t>(key_length), '\0');
  slot.range_high = Padded(high, static_cast<size_t>(key_length), '\xFF');
}

int16_t ReadInRange(int16_t file_number) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) return kRecordFileNotOpen;
  FileSlot& slot = slots[s];
  const bool descending = slot.range_low > slot.range_high;
  int16_t operation;
  if (slot.key_number < 0) {
    slot.key_number = static_cast<int16_t>(-slot.key_number - 1);
    slot.key_buffer = slot.range_low;
    operation = descending ? kOpGetLessOrEqual : kOpGetGreaterOrEqual;
  } else {
    operation = descending ? kOpGetPrevious : kOpGetNext;
  }
  int16_t status = PerformWithWait(s, operation);
  if (status == kRecordDataBufferShort) status = kRecordOk;
  if (descending ? slot.key_buffer < slot.range_high : slot.key_buffer > slot.range_high) {
    status = kRecordEndOfFile;
  }
  if (status != kRecordOk) {
    slot.key_number = 0;
    slot.range_low.clear();
    slot.range_high.clear();
  }
  return status;
}

int32_t RecordPosition(int16_t file_number, int32_t position) {
  int16_t s = FindFileSlot(file_number);
  if (s <= 0) return position == 0 ? 0 : kRecordFileNotOpen;
  FileSlot& slot = slots[s];
  std::array<char, kDataBufferSize> data;
  data.fill(' ');
  uint32_t length = kDataBufferSize;
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  const size_t own_length = std::min(slot.key_buffer.size(), kKeyBufferSize);
  std::copy_n(slot.key_buffer.begin(), own_length, key.begin());
  if (position == 0) {
    int16_t status = RecordCall(kOpGetPosition, slot.position_block.data(), data.data(), &length,
                                key.data(), kKeyBufferSize, static_cast<int8_t>(slot.key_number));
    if (status != kRecordOk) return 0;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << (8 * i);
    return static_cast<int32_t>(value);
  }
  uint32_t value = static_cast<uint32_t>(position);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>(value >> (8 * i));
  int16_t status = RecordCall(kOpGetDirect, slot.position_block.data(), data.data(), &length,
                              key.data(), kKeyBufferSize, static_cast<int8_t>(slot.key_number));
  slot.key_buffer.assign(key.data(), own_length);
  if (status == kRecordDataBufferShort) status = kRecordOk;
  if (status == kRecordOk) CopyToRecordArea(slot, data.data(), length);
  return status;
}

std::string KeyText(std::string_view key, int16_t file_number) {
  FileSlot* slot = SlotOf(file_number);
  std::string result(key);
  if (slot == nullptr) return result;
  const std::string data = StatOf(*slot);
  // A pending range names its key as -(k + 1).
  const size_t key_number =
      static_cast<size_t>(slot->key_number >= 0 ? slot->key_number : -slot->key_number - 1);
  size_t sequence = 0;
  const std::vector<KeySegments> keys = KeysOf(data, &sequence);
  const KeySegments segments = key_number < keys.size() ? keys[key_number] : KeySegments{};
  const size_t table = sequence + kAlternateTableOffset;
  const size_t length = data.size();
  size_t p = 0;
  for (const KeySegmentInfo& segment : segments) {
    if ((segment.flags & kKeyBinary) != 0) {
      if (result.size() < p + segment.length) result.resize(p + segment.length, '\0');
      std::reverse(result.begin() + static_cast<ptrdiff_t>(p),
                   result.begin() + static_cast<ptrdiff_t>(p + segment.length));
    } else if ((segment.flags & kKeyAlternate) != 0 && table + 256 <= length) {
      for (size_t i = p; i < p + segment.length && i < result.size(); ++i) {
        result[i] = data[table + static_cast<uint8_t>(result[i])];
      }
    }
    p += segment.length;
  }
  return result;
}

std::string CurrentKeyText(int16_t file_number) {
  FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) return {};
  return KeyText(slot->key_buffer, file_number);
}

void FatalRecordAccess(int16_t file_number, int16_t status, std::string_view detail) {
  const FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) {
    FatalAccess(std::to_string(file_number), "", status, detail);
    return;
  }
  // The slot goes with the reset on the way out.
  FatalAccess(slot->name, slot->host_path, status, detail);
}

int16_t BeginReadSnapshot(int16_t file_number) { return PlainCall(file_number, kOpBeginSnapshot); }

int16_t EndReadSnapshot(int16_t file_number) { return PlainCall(file_number, kOpEndSnapshot); }

int16_t VerifyRecordFileKeys(int16_t file_number) { return PlainCall(file_number, kOpVerifyKeys); }

std::string RecordFileLayout(int16_t file_number) {
  FileSlot* slot = SlotOf(file_number);
  return slot == nullptr ? std::string() : StatOf(*slot);
}

bool SameRecordLayout(std::string_view a, std::string_view b) {
  if (a.size() < kFileHeaderSize || b.size() < kFileHeaderSize) return false;
  if (Word(a, kHeaderRecordLength) != Word(b, kHeaderRecordLength)) return false;
  const std::vector<KeySegments> keys_a = KeysOf(a);
  const std::vector<KeySegments> keys_b = KeysOf(b);
  return std::equal(keys_a.begin(), keys_a.end(), keys_b.begin(), keys_b.end(), SameSegments);
}

std::string DescribeRecordLayout(std::string_view create_data) {
  if (create_data.size() < kFileHeaderSize) return "no layout";
  std::string text = "record length " + std::to_string(Word(create_data, kHeaderRecordLength));
  const std::vector<KeySegments> keys = KeysOf(create_data);
  for (size_t k = 0; k < keys.size(); ++k) {
    text += "; key " + std::to_string(k) + ":";
    for (size_t i = 0; i < keys[k].size(); ++i) {
      const KeySegmentInfo& segment = keys[k][i];
      text += i == 0 ? " bytes " : ", ";
      text += std::to_string(segment.position) + " to " +
              std::to_string(segment.position + segment.length - 1);
      if ((segment.flags & kKeyBinary) != 0) text += " binary";
      if ((segment.flags & kKeyAlternate) != 0) text += " alternate";
      if ((segment.flags & kKeyDescending) != 0) text += " descending";
    }
  }
  return text;
}

void RequireRecordLayout(int16_t file_number, std::string_view expected,
                         std::string_view layout_name) {
  const std::string found = RecordFileLayout(file_number);
  if (SameRecordLayout(found, expected)) return;
  FatalRecordAccess(file_number, kRecordIoError,
                    "holds records of another layout (" + DescribeRecordLayout(found) + ") than " +
                        std::string(layout_name) + " records (" + DescribeRecordLayout(expected) +
                        ")");
}

FileSlotView InspectFileSlot(int16_t file_number) {
  FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) return {};
  return {slot->key_number,    slot->key_buffer, slot->lock_mode,
          slot->record_length, slot->range_low,  slot->range_high};
}

}  // namespace quarnell
