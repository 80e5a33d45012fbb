// RecordCall: decodes a call, finds the open file behind the position block and dispatches.
//
// The position block holds a handle into this process's table of open files: a mark, the table
// index, a generation that changes each time the entry is reused, and the process id. A block
// that does not name a live entry of this process is "not open"; in particular a child process
// after fork cannot use its parent's files, whose connections must not be touched there.
#include "records/engine/record_call.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "records/engine/record_file.h"

namespace quarnell {
namespace {

using engine::CallBuffers;
using engine::RecordFile;

constexpr uint32_t kBlockMark = 0x51524D31;

// The process id, asked of the system once and again in a child after fork: getpid is a system
// call, and every RecordCall checks it.
pid_t current_pid = 0;

void NoteChildPid() { current_pid = getpid(); }

pid_t CurrentPid() {
  static const bool registered = [] {
    current_pid = getpid();
    pthread_atfork(nullptr, nullptr, NoteChildPid);
    return true;
  }();
  (void)registered;
  return current_pid;
}

struct BlockHandle {
  uint32_t mark;
  uint32_t index;
  uint64_t generation;
  int32_t pid;
};
static_assert(sizeof(BlockHandle) <= kPositionBlockSize);

struct Entry {
  std::unique_ptr<RecordFile> file;
  uint64_t generation = 0;
};

class OpenFiles {
 public:
  ~OpenFiles() {
    // Connections inherited over fork belong to the parent; closing them here could undo its
    // journal. They are let go without a close.
    if (pid_ != CurrentPid()) {
      for (Entry& entry : entries_) (void)entry.file.release();
    }
  }

  std::mutex& mutex() { return mutex_; }

  RecordFile* Find(const uint8_t* block) {
    if (block == nullptr) return nullptr;
    BlockHandle handle;
    std::memcpy(&handle, block, sizeof handle);
    if (handle.mark != kBlockMark || handle.pid != CurrentPid() || pid_ != CurrentPid() ||
        handle.index >= entries_.size()) {
      return nullptr;
    }
    Entry& entry = entries_[handle.index];
    return entry.generation == handle.generation ? entry.file.get() : nullptr;
  }

  void Add(std::unique_ptr<RecordFile> file, uint8_t* block) {
    AdoptAfterFork();
    size_t index = 0;
    while (index < entries_.size() && entries_[index].file != nullptr) ++index;
    if (index == entries_.size()) entries_.emplace_back();
    Entry& entry = entries_[index];
    entry.file = std::move(file);
    entry.generation = ++generation_;
    BlockHandle handle{kBlockMark, static_cast<uint32_t>(index), entry.generation,
                       static_cast<int32_t>(CurrentPid())};
    std::memset(block, 0, kPositionBlockSize);
    std::memcpy(block, &handle, sizeof handle);
  }

  void Close(uint8_t* block) {
    BlockHandle handle;
    std::memcpy(&handle, block, sizeof handle);
    entries_[handle.index].file.reset();
    std::memset(block, 0, kPositionBlockSize);
  }

  void CloseAll() {
    AdoptAfterFork();
    for (Entry& entry : entries_) entry.file.reset();
  }

 private:
  // A child after fork starts with no files of its own.
  void AdoptAfterFork() {
    if (pid_ == CurrentPid()) return;
    for (Entry& entry : entries_) (void)entry.file.release();
    entries_.clear();
    pid_ = CurrentPid();
  }

  std::mutex mutex_;
  std::vector<Entry> entries_;
  uint64_t generation_ = 0;
  pid_t pid_ = CurrentPid();
};

OpenFiles& Files() {
  static OpenFiles files;
  return files;
}

// A text argument (path, owner name): up to its first zero byte, else the whole buffer with
// trailing blanks dropped.
std::string TextArgument(const void* buffer, size_t size) {
  if (buffer == nullptr) return {};
  const char* text = static_cast<const char*>(buffer);
  const void* zero = std::memchr(text, 0, size);
  if (zero != nullptr) return std::string(text, static_cast<const char*>(zero));
  while (size > 0 && text[size - 1] == ' ') --size;
  return std::string(text, size);
}

bool IsRead(int16_t operation) {
  return (operation >= kOpGetEqual && operation <= kOpGetLast) || operation == kOpGetPosition ||
         operation == kOpGetDirect;
}

int16_t Dispatch(int16_t operation, uint8_t* position_block, CallBuffers& io) {
  OpenFiles& files = Files();
  bool lock = false;
  if (operation >= kLockBias) {
    operation = static_cast<int16_t>(operation - kLockBias);
    if (!IsRead(operation)) return kRecordInvalidOperation;
    lock = true;
  }
  switch (operation) {
    case kOpOpen: {
      if (position_block == nullptr) return kRecordInvalidOperation;
      if (files.Find(position_block) != nullptr) return kRecordInvalidOperation;
      std::string path = TextArgument(io.key, io.key_length);
      std::string owner = TextArgument(io.data, io.capacity());
      if (owner.size() > kOwnerNameMax) owner.resize(kOwnerNameMax);
      std::unique_ptr<RecordFile> file;
      int16_t status = RecordFile::Open(path, io.key_number, owner, &file);
      if (status == kRecordOk) files.Add(std::move(file), position_block);
      return status;
    }
    case kOpCreate:
      return RecordFile::Create(TextArgument(io.key, io.key_length),
                                std::span<const uint8_t>(io.data, io.capacity()), io.key_number);
    case kOpReset:
      files.CloseAll();
      return kRecordOk;
    default:
      break;
  }
  RecordFile* file = files.Find(position_block);
  if (file == nullptr) return kRecordFileNotOpen;
  switch (operation) {
    case kOpClose:
      files.Close(position_block);
      return kRecordOk;
    case kOpInsert:
      return file->Insert(io);
    case kOpUpdate:
      return file->Update(io);
    case kOpDelete:
      return file->Delete();
    case kOpGetEqual:
    case kOpGetNext:
    case kOpGetPrevious:
    case kOpGetGreater:
    case kOpGetGreaterOrEqual:
    case kOpGetLess:
    case kOpGetLessOrEqual:
    case kOpGetFirst:
    case kOpGetLast:
      return file->Read(operation, lock, io);
    case kOpStat:
      return file->Stat(io);
    case kOpGetPosition:
      return file->GetPosition(lock, io);
    case kOpGetDirect:
      return file->GetDirect(lock, io);
    case kOpUnlock:
      return file->Unlock();
    case kOpBeginTransaction:
      return file->BeginTransaction();
    case kOpEndTransaction:
      return file->EndTransaction();
    case kOpAbortTransaction:
      return file->AbortTransaction();
    case kOpBeginSnapshot:
      return file->BeginSnapshot();
    case kOpEndSnapshot:
      return file->EndSnapshot();
    case kOpVerifyKeys:
      return file->VerifyKeys();
    case kOpSetOwner: {
      std::string owner = TextArgument(io.data, io.capacity());
      if (owner.size() > kOwnerNameMax) return kRecordInvalidOperation;
      return file->SetOwner(owner);
    }
    default:
      return kRecordInvalidOperation;
  }
}

}  // namespace

int16_t RecordCall(int16_t operation, uint8_t* position_block, void* data_buffer,
                   uint32_t* data_length, void* key_buffer, uint8_t key_length, int8_t key_number) {
  CallBuffers io;
  io.data = static_cast<uint8_t*>(data_buffer);
  io.data_length = data_length;
  io.key = static_cast<uint8_t*>(key_buffer);
  io.key_length = key_length;
  io.key_number = key_number;
  try {
    std::lock_guard<std::mutex> guard(Files().mutex());
    return Dispatch(operation, position_block, io);
  } catch (const std::exception&) {
    // Out of memory is the only thing that can throw here; the file itself is intact.
    return kRecordIoError;
  }
}

}  // namespace quarnell
