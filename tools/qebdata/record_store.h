// One record file opened straight through RecordCall, for the data tool: it writes records, which
// the program's record-file layer never does.
#ifndef QUARNELL_TOOLS_QEBDATA_RECORD_STORE_H_
#define QUARNELL_TOOLS_QEBDATA_RECORD_STORE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "records/engine/record_call.h"

namespace quarnell {

// Creates a new, empty record file at `host_path` from a dictionary's Create data and gives it
// owner name A, as the program's record-file layer does; status kRecordFileExists when a file is
// already there (it is left alone).
int16_t CreateRecordFile(const std::string& host_path, std::string_view create_data);

class RecordStore {
 public:
  RecordStore();
  ~RecordStore();  // closes the file
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Opens the file at `host_path` in `mode` (kOpenNormal, kOpenReadOnly, kOpenExclusive) with the
  // owner names of the program's record-file layer (A, then B). REQUIRES: not open.
  int16_t Open(const std::string& host_path, int8_t mode);
  int16_t Close();
  bool is_open() const { return open_; }

  // The record length, from Stat.
  int16_t RecordLength(uint32_t* length);
  // The number of records, from Stat.
  int16_t RecordCount(uint32_t* count);

  // Adds a record (its size must be the record length); it becomes the current record.
  int16_t Insert(std::string_view record);
  // Removes the current record (the last one read or inserted).
  int16_t Delete();
  // A transaction on this file: the inserts and removals until End become visible together;
  // Abort undoes them. Another open of the file, in this process or another, sees none of them
  // until End.
  int16_t BeginTransaction();
  int16_t EndTransaction();
  int16_t AbortTransaction();

  // Reads on key 0. *record receives the record on status 0 and is unchanged otherwise.
  int16_t GetFirst(std::string* record);
  int16_t GetNext(std::string* record);
  // The first record whose key 0 equals `key` (key 0's length).
  int16_t GetEqual(std::string_view key, std::string* record);

 private:
  int16_t Read(int16_t operation, std::string_view key, std::string* record);
  // An operation that passes no buffers.
  int16_t Plain(int16_t operation);

  uint8_t position_block_[kPositionBlockSize] = {};
  std::string insert_data_;
  std::string insert_key_;
  bool open_ = false;
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_RECORD_STORE_H_
