#include "records/record_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
constexpr int kFatalMessageRow = 12;
constexpr int kLockedMessageRow = 24;

struct FileSlot {
  int16_t file_number = 0;
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

uint16_t Word(const std::array<char, kDataBufferSize>& data, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(data[offset]) |
                               (static_cast<uint8_t>(data[offset + 1]) << 8));
}

// Stat of an open slot. The buffer starts as zeros, so a Stat that fails reads as a file without
// keys; `length` is how much of it the record manager filled.
std::array<char, kDataBufferSize> StatOf(FileSlot& slot, uint32_t& length) {
  std::array<char, kDataBufferSize> data{};
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  length = kDataBufferSize;
  int16_t status = RecordCall(kOpStat, slot.position_block.data(), data.data(), &length, key.data(),
                              kKeyBufferSize, 0);
  if (status != kRecordOk && status != kRecordDataBufferShort) {
    data.fill('\0');
    length = 0;
  }
  return data;
}

struct KeySegmentInfo {
  uint16_t length = 0;
  uint16_t flags = 0;
};

// The segments of key `key_number` and the offset of the alternate sequence (just after the last
// segment of the last key). Only what the Stat data holds is read.
std::vector<KeySegmentInfo> SegmentsOf(const std::array<char, kDataBufferSize>& data,
                                       uint32_t length, int16_t key_number,
                                       size_t* sequence_offset) {
  std::vector<KeySegmentInfo> segments;
  const int keys = length >= kFileHeaderSize ? Word(data, kHeaderKeyCount) : 0;
  size_t offset = kFileHeaderSize;
  for (int k = 0; k < keys; ++k) {
    bool more = true;
    while (more && offset + kSegmentSize <= length) {
      KeySegmentInfo segment{Word(data, offset + kSegmentLength),
                             Word(data, offset + kSegmentFlags)};
      if (k == key_number) segments.push_back(segment);
      more = (segment.flags & kKeySegmented) != 0;
      offset += kSegmentSize;
    }
  }
  if (sequence_offset != nullptr) *sequence_offset = offset;
  return segments;
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

// The message, the bell, one key, then the end of the program. A failure of a database server
// adds the server's name and reason, which the operator needs to tell its administrator.
void FatalAccess(std::string_view name, int16_t status) {
  std::string message =
      std::string(FatalPrefix()) + std::string(name) + " (" + std::to_string(status) + ")";
  const std::string server_problem = TakeRecordServerMessage();
  if (!server_problem.empty()) message += " " + server_problem;
  OperatorAlerts& alerts = Alerts();
  alerts.ShowMessageBox(message, kFatalMessageRow);
  alerts.Bell();
  alerts.DiscardPendingKeys();
  alerts.WaitForKey();
  alerts.PopWindow();
  if (ordinary_file_closer) ordinary_file_closer();
  int16_t reset_status = 0;
  ResetRecordFiles(reset_status);
  if (record_file_exit) {
    record_file_exit(0);
  } else {
    std::exit(0);
  }
}

struct SplitName {
  std::string path;
  std::string base;
};

// Directory, base and extension by scanning from the end: the first dot of the last component
// starts the extension; without one the extension is ".dat".
SplitName NameToPath(std::string_view name) {
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
  return {std::string(directory) + std::string(base) + std::string(extension), std::string(base)};
}

// The Create data of the dictionary file: its length word n, then n bytes. A status on failure:
// 12 when the dictionary cannot be read, kRecordInvalidCreateData when it is shorter than its
// length word says.
int16_t ReadDictionary(const std::string& base, std::string& create_data) {
  std::string path = HostPath(Session().root_directory + "ddf\\" + base + ".xdf");
  std::ifstream in(path, std::ios::binary);
  if (!in) return kRecordFileNotFound;
  unsigned char length_word[2];
  if (!in.read(reinterpret_cast<char*>(length_word), 2)) return kRecordInvalidCreateData;
  size_t length = length_word[0] | (length_word[1] << 8);
  create_data.assign(length, '\0');
  if (!in.read(create_data.data(), static_cast<std::streamsize>(length))) {
    return kRecordInvalidCreateData;
  }
  return kRecordOk;
}

int16_t CreateFromDictionary(FileSlot& slot, const std::string& host_path,
                             const std::string& base) {
  std::string create_data;
  int16_t status = ReadDictionary(base, create_data);
  if (status != kRecordOk) return status;
  std::array<char, kKeyBufferSize> key = PathKey(host_path);
  uint32_t length = static_cast<uint32_t>(create_data.size());
  // Another program may create the same file at the same moment; the new-file mode keeps the
  // two from replacing each other's file.
  return RecordCall(kOpCreate, slot.position_block.data(), create_data.data(), &length, key.data(),
                    kKeyBufferSize, kCreateNew);
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
  uint32_t length = 0;
  std::array<char, kDataBufferSize> data = StatOf(*slot, length);
  if (length >= 2) record_length = Word(data, kHeaderRecordLength);
  if (length < kFileHeaderSize || key_number < 0 || key_number >= Word(data, kHeaderKeyCount)) {
    return;
  }
  int sum = 0;
  for (const KeySegmentInfo& segment : SegmentsOf(data, length, key_number, nullptr)) {
    sum += segment.length;
  }
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
  slot.record_area = record_area;

  status = SelectSessionStorage();
  if (status != kRecordOk) {
    FatalAccess(name, status);
    return;
  }
  SplitName split = NameToPath(name);
  const std::string host_path = HostPath(split.path);
  if (host_path.size() >= kKeyBufferSize) {
    // The record manager takes the path in a 255-byte buffer with its zero byte.
    status = kRecordInvalidFileName;
    FatalAccess(name, status);
    return;
  }
  bool created = false;
  bool tried_create = false;
  for (;;) {
    status = OwnerCall(kOpOpen, slot, host_path, OwnerNameA());
    if (status == kRecordWrongOwner) status = OwnerCall(kOpOpen, slot, host_path, OwnerNameB());
    if (status == kRecordFileLocked) {
      CurrentClock().SleepMilliseconds(kOpenRetryMilliseconds);
      continue;
    }
    if (status == kRecordFileNotFound) {
      // Once only: a file that is still missing after a create is not coming.
      if (tried_create) break;
      tried_create = true;
      status = CreateFromDictionary(slot, host_path, split.base);
      // Another program created it first: open theirs.
      if (status == kRecordFileExists) continue;
      if (status != kRecordOk) break;
      created = true;
      continue;
    }
    if (created && status == kRecordOk) {
      status = OwnerCall(kOpSetOwner, slot, host_path, OwnerNameA());
    }
    break;
  }
  if (status != kRecordOk) {
    FatalAccess(name, status);
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
  uint32_t length = 0;
  std::array<char, kDataBufferSize> data = StatOf(*slot, length);
  // A pending range names its key as -(k + 1).
  int16_t key_number =
      slot->key_number >= 0 ? slot->key_number : static_cast<int16_t>(-slot->key_number - 1);
  size_t sequence = 0;
  std::vector<KeySegmentInfo> segments = SegmentsOf(data, length, key_number, &sequence);
  const size_t table = sequence + kAlternateTableOffset;
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

FileSlotView InspectFileSlot(int16_t file_number) {
  FileSlot* slot = SlotOf(file_number);
  if (slot == nullptr) return {};
  return {slot->key_number,    slot->key_buffer, slot->lock_mode,
          slot->record_length, slot->range_low,  slot->range_high};
}

}  // namespace quarnell
