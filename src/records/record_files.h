// Record file access: the application's open record files, reads by key, in key order, inside a
// key range and by position, optional record locks with the locked-file wait, read snapshots, and
// the end of the program when a file cannot be opened or read.
//
// Every open file is known by the application's file number (any value but 0) and bound to a
// record area, the application's record variable; reads copy records into it and never write
// beyond it. The program only reads: there is no insert, update or delete here (the data tool
// calls RecordCall for those).
//
// Statuses are the record manager's (records/engine/record_call.h: 0 success, 9 end, ...) and the
// three below. Reads give 22 (record longer than the buffer) as 0.
#ifndef QUARNELL_RECORDS_RECORD_FILES_H_
#define QUARNELL_RECORDS_RECORD_FILES_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "records/engine/record_call.h"

namespace quarnell {

// Statuses of this layer (besides kRecordFileNotOpen, 3, for a file number with no slot).
inline constexpr int16_t kFileNumberInUse = 1002;   // OpenRecordFile: the number is already open
inline constexpr int16_t kFileTableFull = 1003;     // OpenRecordFile: all 40 slots are in use
inline constexpr int16_t kUnknownKeyNumber = 1004;  // the file has no key of that number

inline constexpr int kFileSlots = 40;
// The data buffer handed to the record manager; no record of the system is longer.
inline constexpr size_t kDataBufferSize = 1536;

// Lock modes (SetLockMode letters D, A, B).
inline constexpr int16_t kLockNone = 0;
inline constexpr int16_t kLockAndWait = 1;
inline constexpr int16_t kLockNoWait = 2;

// The record area of a record variable: its bytes, as OpenRecordFile takes them.
template <typename Record>
std::span<char> RecordAreaOf(Record& record) {
  static_assert(std::is_trivially_copyable_v<Record>);
  return std::span<char>(reinterpret_cast<char*>(&record), sizeof(Record));
}

// Opens the record file `name` (a program path such as root + "DADES\VCobros"; ".dat" is added
// when the last component has no extension) as `file_number`, bound to `record_area`, which must
// outlive the file's use. The files of the session's installation live where its Tova.ini says
// (SelectRecordStorage). On success status = 0, the file's key 0 is current, its key buffer is
// key 0's length in zero bytes and the record area is untouched. Status 1002 (number already
// open, or 0, which marks free slots; that file is left as it was) or 1003 (table full) return at
// once. A file held exclusively elsewhere is waited for, 3 s between attempts, without limit;
// after the first second the locked-file message is shown (and, without a screen, a line naming
// the file). Any other failure, a missing file included (only the data tool creates record
// files), ends the program through the fatal access path, whose message also names the database
// server and its reason when the failure was the server's, and does not return (unless the exit
// was replaced, see SetRecordFileExit, in which case status holds the failure).
//
// The fatal access path shows "NO ES POT ACCEDIR AL FITXER " (in the session's language) + name
// + " (" + status + ")", and without a screen one more line: the file's full path on this
// machine, what the status means (not found, damaged, no permission, ...) and the setting to
// check, QEBROOT. Then the bell, one key, the release of every file and the end of the program
// with exit status 1, a failure, with or without a screen (or what SetRecordFileExit installed).
void OpenRecordFile(int16_t file_number, std::string_view name, std::span<char> record_area,
                    int16_t& status);

// Tells the record manager where the record files of the installation at `root` (a directory as
// the program writes it, ending in "\" or "/") live: as tables of the PostgreSQL database that
// [Dades] Servidor of root + "Tova.ini" names, or, without that setting, as files in
// root + "DADES\". OpenRecordFile does this for the session's root before its first open; the
// data tool, which works on the roots it is given, calls it itself. Returns 0, or
// kRecordInvalidFileName when the setting cannot be used (a password in it, a text libpq cannot
// read), with the reason for TakeRecordServerMessage.
int16_t SelectRecordStorage(const std::string& root);

// Asks the record manager to release everything this program holds; on status 0 all 40 slots
// become free (record areas are left as they are).
void ResetRecordFiles(int16_t& status);

// Sets the file's lock mode by one-letter commands, in order, case-blind: D no locks, A lock and
// wait, B lock without waiting, "+" saves the current mode on the lock-mode stack, "-" restores
// this file's last saved mode (nothing when none is saved); other characters are ignored.
// status = 3 when the file is not open; otherwise status is left as it was.
void SetLockMode(int16_t file_number, std::string_view modes, int16_t& status);

// Reads by key `key_number` with value `key` (zero-padded or cut to the key's length):
// direction 0 the record whose key equals it, > 0 the first at or above it, < 0 the last at or
// below it. The key becomes the file's current key. Status 3 (not open) or 1004 (no such key)
// leave everything as it was. Otherwise the record manager's status (22 as 0): on 0 the record
// area holds the record and the key buffer its key; on any other status the record area keeps
// what it held (defaults planted before the read survive) and the key buffer the padded value.
void GetByKey(int16_t file_number, int16_t key_number, std::string_view key, int16_t direction,
              int16_t& status);
int16_t GetByKeyStatus(int16_t file_number, int16_t key_number, std::string_view key,
                       int16_t direction);

// Moves |count| records along the current key, forward for count > 0, backward for count < 0,
// and reads the record reached into the record area; the records passed over are not copied.
// Count 0 reads nothing and gives 0. Status 3 when not open; otherwise as for GetByKey, with 9
// at the end of the file (the record area then keeps what it held).
void ReadStep(int16_t file_number, int16_t count, int16_t& status);

// Prepares ReadInRange to deliver the records whose key `key_number` lies between `low`
// (zero-padded to the key length) and `high` (0xFF-padded); low above high walks downwards.
// status = 3 (not open) or 1004 (no such key) on failure; otherwise left as it was.
void SetKeyRange(int16_t file_number, int16_t key_number, std::string_view low,
                 std::string_view high, int16_t& status);

// The next record of the range into the record area: 0 = read; 9 = the range (or the file) is
// exhausted; other values are record-manager statuses. After any non-zero status the range is
// forgotten (current key 0, bounds empty). When the record reached lies beyond the range, the
// record area already holds it although the status is 9.
int16_t ReadInRange(int16_t file_number);

// position 0: the physical position of the file's current record, 0 when there is none or the
// file is not open. Otherwise: reads the record at that position into the record area (on status
// 0), makes it the current record and returns the status (3 when not open). No lock, no wait.
int32_t RecordPosition(int16_t file_number, int32_t position);

// `key` (a value of the file's current key) rewritten so that plain byte comparison gives the
// record manager's order: binary segments reversed (most significant byte first), alternate-
// sequence segments mapped through the file's sequence. `key` unchanged when not open.
std::string KeyText(std::string_view key, int16_t file_number);

// KeyText of the file's key buffer (the key of its current record); empty when not open.
std::string CurrentKeyText(int16_t file_number);

// Ends the program through the fatal access path for the open file `file_number` (named as it was
// opened; by its number when it is not open) with `status`. `detail`, when not empty, replaces
// the meaning of the status in the line shown without a screen. Returns only when the exit was
// replaced (SetRecordFileExit).
void FatalRecordAccess(int16_t file_number, int16_t status, std::string_view detail = {});

// Holds a read snapshot of the open file: until EndReadSnapshot or ResetRecordFiles every read of
// it sees the file as it was now, whatever other programs commit meanwhile (they are not held
// up). Locked reads are refused while it is held. Returns the record manager's status, 3 when
// the file is not open.
int16_t BeginReadSnapshot(int16_t file_number);
int16_t EndReadSnapshot(int16_t file_number);

// Whether every key of the open file holds every record (the record manager's Verify keys, one
// pass over the file, of the file as a snapshot held sees it): 0, or 2 for a file whose index
// lost records, which no read reports. 3 when the file is not open.
int16_t VerifyRecordFileKeys(int16_t file_number);

// ---- Layouts
// -------------------------------------------------------------------------------------

// The open file's layout as the record manager gives it (its Create data: record length, keys
// and their segments, and the record count); empty when not open.
std::string RecordFileLayout(int16_t file_number);

// Whether two Create data describe the same record length and the same keys: the same segments
// at the same places, ordered the same way. Flags that only govern writes (duplicates allowed,
// modifiable), the record count and the page size are not compared.
bool SameRecordLayout(std::string_view a, std::string_view b);

// "record length 80; key 0: bytes 1 to 2, 3 to 4; key 1: bytes 5 to 6 binary", for messages.
std::string DescribeRecordLayout(std::string_view create_data);

// Ends the program through the fatal access path, status 2, unless the open file has the layout
// `expected` (Create data) that the application reads it with; the line shown without a screen
// names both layouts, the expected one as `layout_name` records. A file that holds another
// file's records must not be read as if it were this one.
void RequireRecordLayout(int16_t file_number, std::string_view expected,
                         std::string_view layout_name);

// ---- Internal operations, exposed for tests ----------------------------------------------------

// The slot (1 to 40) that holds `file_number`; when none, minus the highest-numbered free slot;
// 0 when none is free. File number 0 names no file: always 0.
int16_t FindFileSlot(int16_t file_number);

// The length of key `key_number` and the record length, from Stat: both 0 when not open, key
// length 0 when the file has no such key.
void KeyInfo(int16_t file_number, int16_t key_number, int16_t& key_length, int32_t& record_length);

// One key-ordered read of `operation` on slot `slot` with the lock bias of its lock mode, the
// record copy and the locked-file wait. Returns the record manager's status (22 not mapped), or
// 3 for a slot number outside 1 to 40.
int16_t PerformWithWait(int16_t slot, int16_t operation);

// The file number's current key number (negative while a range is pending), key buffer, lock
// mode and range bounds; for tests. Not open: zeros and empty texts.
struct FileSlotView {
  int16_t key_number = 0;
  std::string key_buffer;
  int16_t lock_mode = 0;
  int32_t record_length = 0;
  std::string range_low;
  std::string range_high;
};
FileSlotView InspectFileSlot(int16_t file_number);

// The owner names that OpenRecordFile tries (A first, then B) and gives to files it creates.
std::string OwnerNameA();
std::string OwnerNameB();

// ---- Seams --------------------------------------------------------------------------------------

// The end of the program after the fatal access path, std::exit by default; it is given the exit
// status, 1. A replacement that returns makes OpenRecordFile return with the failing status
// (tests). Empty restores the default.
void SetRecordFileExit(std::function<void(int exit_code)> exit_function);

// The application's "close all ordinary files", run by the fatal access path before it resets the
// record manager. None by default.
void SetOrdinaryFileCloser(std::function<void()> closer);

}  // namespace quarnell

#endif  // QUARNELL_RECORDS_RECORD_FILES_H_
