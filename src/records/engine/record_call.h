// The record manager: keyed record files, reached through RecordCall. A file is one SQLite
// database at its path, or, for the files of a directory given to SetRecordServer, one table of a
// PostgreSQL database; every operation and status below is the same on both. This is the only
// header of the engine; nothing else of it is visible to the rest of the program.
//
// A record file holds fixed-length records and one or more keys. Each key is made of one or more
// segments of the record (a byte range with flags); the key value that reads hand back in the key
// buffer is the segments' bytes as they stand in the record, one after the other.
//
// Several processes may use the same file at once. Readers never block; writes of one process
// wait briefly for those of another and give kRecordFileLocked when they cannot proceed. Record
// locks (lock bias on a read) and exclusive opens belong to the open file and end when the process
// ends: byte-range locks that the system drops at once, or, on a server, locks of the file's
// connection that the server drops as soon as it sees the connection go.
#ifndef QUARNELL_RECORDS_ENGINE_RECORD_CALL_H_
#define QUARNELL_RECORDS_ENGINE_RECORD_CALL_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarnell {

// ---- Operation codes ----------------------------------------------------------------------------
//
// Every operation takes the position block of the file (128 bytes, zeroed by the caller before
// Open, untouched by the caller afterwards) and answers a status. Where a description below does
// not mention an argument, the operation neither reads nor changes it.
//
// Reads (5 to 13, 23) return the record in the data buffer (capacity *data_length on entry) and
// set *data_length to the number of bytes stored: the record length, or the capacity when the
// buffer is shorter, in which case the status is kRecordDataBufferShort and the read otherwise
// counts as done (the record is current). On success the key buffer receives the key value of key
// `key_number` of the record read (key_length must be at least that key's length, otherwise
// kRecordKeyBufferShort). On any other status the data buffer, *data_length, the key buffer and
// the file's current position are left as they were. Reads see the file as it was when the
// current run of key-ordered reads began, for at most a fraction of a second; a read that starts
// afresh (5, 8 to 13, 23) or a locked read sees every write committed before it. Inside a read
// snapshot (40, below) every read sees the file as it was when the snapshot began.
//
// A record whose stored bytes do not hold together (a record of another length than the file's
// record length, a key value that is not the one its record's bytes give, a damaged page) gives
// kRecordIoError, never a record.

// key buffer: the host path, ended by a zero byte or by key_length (trailing blanks dropped).
// data buffer: the owner name (ended by a zero byte or *data_length), needed when the file has
// one. key_number: open mode. A position block that already holds an open file gives
// kRecordInvalidOperation. An exclusive open fails with kRecordFileLocked while anyone else has
// the file open, and holds everyone else off until it closes.
inline constexpr int16_t kOpOpen = 0;
// Closes the file and releases its locks; the position block may be reused for another Open.
inline constexpr int16_t kOpClose = 1;
// Adds the record in the data buffer (*data_length must equal the record length). The new record
// becomes the current one for key `key_number`, whose value is returned in the key buffer.
inline constexpr int16_t kOpInsert = 2;
// Replaces the current record (the last one read or inserted through this position block).
inline constexpr int16_t kOpUpdate = 3;
// Removes the current record.
inline constexpr int16_t kOpDelete = 4;
// Key-ordered reads on key `key_number`. The key buffer gives the value searched (5, 8 to 11);
// 6 and 7 continue from the current record and ignore the key buffer's content.
inline constexpr int16_t kOpGetEqual = 5;
inline constexpr int16_t kOpGetNext = 6;
inline constexpr int16_t kOpGetPrevious = 7;
inline constexpr int16_t kOpGetGreater = 8;
inline constexpr int16_t kOpGetGreaterOrEqual = 9;
inline constexpr int16_t kOpGetLess = 10;
inline constexpr int16_t kOpGetLessOrEqual = 11;
inline constexpr int16_t kOpGetFirst = 12;
inline constexpr int16_t kOpGetLast = 13;
// key buffer: the host path. data buffer: the Create data (layout below), *data_length its size.
// key_number kCreateReplace replaces an existing file, kCreateNew refuses it (kRecordFileExists).
// The position block is not opened by Create.
inline constexpr int16_t kOpCreate = 14;
// The Create data of the open file with the record count filled in, into the data buffer
// (*data_length = capacity on entry, size written on return).
inline constexpr int16_t kOpStat = 15;
// A transaction on the file of this position block (not on other files): Begin waits for the
// file's write lock like any write (kRecordFileLocked when it cannot have it) and keeps it; the
// writes made through this position block until End become visible to others and durable
// together at End, and Abort undoes them all. A write that fails inside a transaction changes
// nothing and leaves the transaction going. Close and Reset abort a transaction still open.
// Begin inside a transaction, or End and Abort outside one, give kRecordInvalidOperation.
inline constexpr int16_t kOpBeginTransaction = 19;
inline constexpr int16_t kOpEndTransaction = 20;
inline constexpr int16_t kOpAbortTransaction = 21;
// The 4-byte position (little-endian) of the current record into the data buffer.
inline constexpr int16_t kOpGetPosition = 22;
// Reads the record whose position is in the first 4 bytes of the data buffer; it becomes the
// current record for key `key_number`, so that 6 and 7 go on from it in that key's order.
inline constexpr int16_t kOpGetDirect = 23;
// Releases the record locks this position block holds.
inline constexpr int16_t kOpUnlock = 27;
// Closes every file this process opened and releases all its locks. The position block is only
// scratch.
inline constexpr int16_t kOpReset = 28;
// Gives the open file an owner name (data buffer, ended by a zero byte or *data_length, at most
// kOwnerNameMax bytes). Later Opens must present it. Not allowed in read-only mode.
inline constexpr int16_t kOpSetOwner = 29;

// A read snapshot on the file of this position block. From Begin snapshot to End snapshot every
// read through the block sees the file as it was at Begin snapshot, whatever other processes
// commit meanwhile; they are not held up (the writes they commit wait in the file's journal until
// no snapshot needs the old pages). The statement program takes one per file for a whole run, so
// that a run which spans another program's import prints every owner from the same records.
// While the snapshot is held, writes, transactions and locked reads through the block give
// kRecordInvalidOperation (a lock on a record one cannot see afresh protects nothing). Begin
// inside a snapshot or a transaction, and End outside a snapshot, give kRecordInvalidOperation;
// Close and Reset end a snapshot still held.
inline constexpr int16_t kOpBeginSnapshot = 40;
inline constexpr int16_t kOpEndSnapshot = 41;

// Verify keys: whether every key of the file holds as many entries as the file counts records
// (inside a snapshot, of the file as the snapshot sees it). kRecordIoError when an index lost
// entries or holds too many: such damage fails no read, the records it lost are simply never found.
// For a program about to walk the whole file; a file kept on a server answers kRecordOk (the server
// keeps its own indexes).
inline constexpr int16_t kOpVerifyKeys = 42;

// Added to a read (5 to 13, 22, 23): the record read is locked for this position block, without
// waiting. A record locked by another process gives kRecordRecordLocked. A later locked read
// through the same position block releases the previous lock, as do Unlock, Close and Reset.
inline constexpr int16_t kLockBias = 200;

// Open modes, passed as key_number of Open.
inline constexpr int8_t kOpenNormal = 0;
inline constexpr int8_t kOpenReadOnly = -2;
inline constexpr int8_t kOpenExclusive = -4;

// Create modes, passed as key_number of Create.
inline constexpr int8_t kCreateReplace = 0;
inline constexpr int8_t kCreateNew = -1;

inline constexpr size_t kPositionBlockSize = 128;
inline constexpr size_t kOwnerNameMax = 8;

// ---- Statuses -----------------------------------------------------------------------------------
inline constexpr int16_t kRecordOk = 0;                // success
inline constexpr int16_t kRecordInvalidOperation = 1;  // unknown operation code
inline constexpr int16_t kRecordIoError = 2;           // damaged or foreign file, failed read/write
inline constexpr int16_t kRecordFileNotOpen = 3;       // position block holds no open file
inline constexpr int16_t kRecordKeyNotFound = 4;       // no record with the key searched
inline constexpr int16_t kRecordDuplicateKey = 5;      // value already present on a unique key
inline constexpr int16_t kRecordInvalidKeyNumber = 6;  // the file has no such key
inline constexpr int16_t kRecordNoCurrentRecord = 8;  // update/delete/next without a current record
inline constexpr int16_t kRecordEndOfFile = 9;        // no further record in that direction
inline constexpr int16_t kRecordKeyNotModifiable = 10;  // update changes a non-modifiable key
inline constexpr int16_t kRecordInvalidFileName = 11;   // empty or unusable path
inline constexpr int16_t kRecordFileNotFound = 12;      // no file at the path
inline constexpr int16_t kRecordKeyBufferShort = 21;    // key buffer shorter than the key
inline constexpr int16_t kRecordDataBufferShort =
    22;  // record longer than the data buffer (partial copy)
inline constexpr int16_t kRecordInvalidRecordLength =
    23;  // insert/update data length != record length
inline constexpr int16_t kRecordInvalidCreateData = 24;  // Create data inconsistent or too short
inline constexpr int16_t kRecordCreateError = 25;        // the file could not be created
inline constexpr int16_t kRecordInvalidPosition = 43;    // Get direct: no record at that position
// A write in read-only mode, or a file that the system will not let this user open (no
// permission on the file, or none to write beside it, where its journal and lock files live).
inline constexpr int16_t kRecordAccessDenied = 46;
inline constexpr int16_t kRecordOwnerAlreadySet = 50;  // Set owner on a file that has one
inline constexpr int16_t kRecordWrongOwner = 51;       // owner name missing or wrong at Open
inline constexpr int16_t kRecordFileExists = 59;       // Create refused: the file exists
inline constexpr int16_t kRecordRecordLocked = 84;     // another process holds the record lock
inline constexpr int16_t kRecordFileLocked = 85;  // exclusive elsewhere, or a write cannot proceed
// The database server of the file cannot be reached, refused the connection, or the connection
// was lost (the file stays unusable until it is closed and opened again).
inline constexpr int16_t kRecordServerUnavailable = 95;

// ---- Create data / Stat layout (little-endian) --------------------------------------------------
// A 16-byte file header, then one 16-byte description per key segment, keys in order, then the
// alternate collating sequence when any segment uses one.
inline constexpr size_t kFileHeaderSize = 16;
inline constexpr size_t kHeaderRecordLength = 0;  // uint16
inline constexpr size_t kHeaderPageSize = 2;      // uint16, kept, not used
inline constexpr size_t kHeaderKeyCount = 4;      // uint16
inline constexpr size_t kHeaderRecordCount = 6;   // uint32, filled by Stat
inline constexpr size_t kHeaderFileFlags = 10;    // uint16

inline constexpr size_t kSegmentSize = 16;
inline constexpr size_t kSegmentPosition = 0;       // uint16, 1-based offset in the record
inline constexpr size_t kSegmentLength = 2;         // uint16
inline constexpr size_t kSegmentFlags = 4;          // uint16, kKey* bits
inline constexpr size_t kSegmentExtendedType = 10;  // uint8, kept
inline constexpr size_t kSegmentNullValue = 11;     // uint8, kept

inline constexpr uint16_t kKeyDuplicates = 0x01;  // duplicates allowed (whole key; first segment)
inline constexpr uint16_t kKeyModifiable = 0x02;  // update may change the key
inline constexpr uint16_t kKeyBinary = 0x04;      // unsigned little-endian integer order
inline constexpr uint16_t kKeySegmented = 0x10;   // another segment of the same key follows
inline constexpr uint16_t kKeyAlternate = 0x20;   // ordered through the alternate sequence
inline constexpr uint16_t kKeyDescending = 0x40;  // this segment in descending order

// The alternate collating sequence: signature byte, 8-byte name, 256-byte table mapping each
// byte to its sort weight.
inline constexpr size_t kAlternateSequenceSize = 265;
inline constexpr size_t kAlternateNameOffset = 1;
inline constexpr size_t kAlternateTableOffset = 9;
inline constexpr uint8_t kAlternateSignature = 0xAC;

// The one entry point. `position_block` is kPositionBlockSize bytes owned by the caller;
// `data_length` is in/out as described per operation; `key_buffer` holds `key_length` bytes.
// Never throws; every failure is a status.
int16_t RecordCall(int16_t operation, uint8_t* position_block, void* data_buffer,
                   uint32_t* data_length, void* key_buffer, uint8_t key_length, int8_t key_number);

// ---- Where the files live -----------------------------------------------------------------------
//
// Keeps the record files whose path lies directly in `directory` (a host directory) as tables of
// the PostgreSQL database that `server` names: a connection URI ("postgresql:///agencia?host=
// /run/postgresql"), a keyword=value string, or a bare word for a service name of libpq's service
// file. The table of a file is its base name in lower case ("DADES/VCobros.dat": vcobros); the
// database also holds the table record_files, which describes every file. An empty `server`
// gives the directory back to SQLite. Credentials come only from libpq's own password file,
// service file and environment: a server text holding a password is refused. Returns kRecordOk,
// or kRecordInvalidFileName with the reason for TakeRecordServerMessage. Files already open stay
// where they are.
int16_t SetRecordServer(const std::string& directory, const std::string& server);

// The last failure a database server gave ("<server>: <reason>", never a password), empty when
// none happened since the last call; the call empties it.
std::string TakeRecordServerMessage();

}  // namespace quarnell

#endif  // QUARNELL_RECORDS_ENGINE_RECORD_CALL_H_
