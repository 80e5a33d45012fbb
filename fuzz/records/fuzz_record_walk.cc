// A record file as damage may leave it, whatever its bytes: opening and walking it through the
// record manager and through the record-file layer never crashes, never waits and never reads or
// writes beyond a buffer, and every walk either reads the file consistently (records of the file's
// record length, each under its own key, in key order, the same forwards, backwards and through
// the layer) or stops on the status that says the file is damaged.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "config/alerts.h"
#include "records/engine/file_layout.h"
#include "records/engine/record_call.h"
#include "records/record_files.h"
#include "text/clock.h"

namespace {

using quarnell::engine::FileLayout;

// The most records one walk reads; the seeds hold a few hundred.
constexpr int kMaxRecords = 4000;
// The keys walked; the rental files have one or two.
constexpr size_t kMaxKeys = 3;
constexpr int16_t kFileNumber = 1;

// Reports the broken invariant's line before stopping, so that a finding explains itself.
void Check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
  std::abort();
}

class SilentAlerts : public quarnell::OperatorAlerts {
 public:
  void ShowMessageBox(std::string_view, int) override {}
  void PopWindow() override {}
  void Bell() override {}
  void DiscardPendingKeys() override {}
  void WaitForKey() override {}
};

// Nothing else uses the file, so the layer never has a reason to wait for it.
class NoWaitClock : public quarnell::Clock {
 public:
  int32_t Today() override { return 20260101; }
  int32_t SecondsOfDay() override { return 0; }
  void SleepMilliseconds(int32_t) override { Check(false); }
  double Random() override { return 0.5; }
};

// The file of this process: `<scratch>/DADES/F.dat`, with the layer's name for it.
struct Scratch {
  std::string path;
  std::string name;
};

std::string scratch_directory;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_directory, ignored);
}

const Scratch& ScratchFile() {
  static const Scratch scratch = [] {
    char pattern[] = "/tmp/fuzz-record-walk-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    scratch_directory = pattern;
    std::atexit(RemoveScratch);
    return Scratch{scratch_directory + "/F.dat", scratch_directory + "/F"};
  }();
  return scratch;
}

// The input as the file, without the journal and lock files an earlier input left.
void WriteInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile().path;
  for (const char* suffix : {"-wal", "-shm", "-lck", "-journal"}) {
    unlink((path + suffix).c_str());
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

// A position block with a file open through it, closed at the end.
class EngineFile {
 public:
  ~EngineFile() {
    uint32_t length = 0;
    quarnell::RecordCall(quarnell::kOpClose, block_, nullptr, &length, nullptr, 0, 0);
  }

  int16_t Open(const std::string& path) {
    int16_t status = OpenAs(path, quarnell::OwnerNameA());
    if (status == quarnell::kRecordWrongOwner) status = OpenAs(path, quarnell::OwnerNameB());
    return status;
  }

  // The Create data the file describes itself with.
  int16_t Stat(std::string* create_data) {
    std::vector<uint8_t> data(4096);
    uint32_t length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> key(255, ' ');
    const int16_t status =
        quarnell::RecordCall(quarnell::kOpStat, block_, data.data(), &length, key.data(), 255, 0);
    create_data->assign(reinterpret_cast<const char*>(data.data()), std::min<size_t>(length, 4096));
    return status;
  }

  // One read into buffers of exactly the record's and the key's length, so that a write beyond
  // either shows.
  int16_t Read(int16_t operation, const FileLayout& layout, size_t key, std::string* record) {
    std::vector<uint8_t> data(layout.record_length(), ' ');
    uint32_t length = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> key_value(layout.key(key).length, 0);
    const int16_t status =
        quarnell::RecordCall(operation, block_, data.data(), &length, key_value.data(),
                             static_cast<uint8_t>(key_value.size()), static_cast<int8_t>(key));
    if (status != quarnell::kRecordOk) return status;
    Check(length == layout.record_length());
    // The key handed back is the key of the record handed back.
    std::vector<uint8_t> expected(key_value.size());
    layout.KeyValue(key, data.data(), expected.data());
    Check(expected == key_value);
    record->assign(reinterpret_cast<const char*>(data.data()), length);
    return status;
  }

 private:
  int16_t OpenAs(const std::string& path, std::string owner) {
    owner += '\0';
    uint32_t length = static_cast<uint32_t>(owner.size());
    std::string key = path + '\0';
    return quarnell::RecordCall(quarnell::kOpOpen, block_, owner.data(), &length, key.data(),
                                static_cast<uint8_t>(key.size()), quarnell::kOpenNormal);
  }

  uint8_t block_[quarnell::kPositionBlockSize] = {};
};

struct Walk {
  std::vector<std::string> records;
  int16_t end = quarnell::kRecordOk;  // what ended it: end of file, damage, or 0 when cut short
};

// Records of key `key` from the first whose key is at or above zero bytes (as the layer starts
// a walk), or from the last one backwards; each in key order after the one before.
Walk EngineWalk(EngineFile& file, const FileLayout& layout, size_t key, bool forward) {
  Walk walk;
  int16_t operation = forward ? quarnell::kOpGetGreaterOrEqual : quarnell::kOpGetLast;
  std::string record;
  std::string previous;
  std::string comparable;
  for (int n = 0; n < kMaxRecords; ++n) {
    const int16_t status = file.Read(operation, layout, key, &record);
    if (status != quarnell::kRecordOk) {
      Check(status == quarnell::kRecordEndOfFile || status == quarnell::kRecordIoError);
      walk.end = status;
      return walk;
    }
    layout.ComparableOfRecord(key, reinterpret_cast<const uint8_t*>(record.data()), &comparable);
    if (n > 0) Check(forward ? previous <= comparable : comparable <= previous);
    previous = comparable;
    walk.records.push_back(record);
    operation = forward ? quarnell::kOpGetNext : quarnell::kOpGetPrevious;
  }
  return walk;
}

// Key 0 through the record-file layer, into a record area of exactly the record length.
Walk LayerWalk(std::vector<char>& area) {
  Walk walk;
  int16_t status = quarnell::GetByKeyStatus(kFileNumber, 0, "", 1);
  for (int n = 0; n < kMaxRecords && status == quarnell::kRecordOk; ++n) {
    walk.records.emplace_back(area.data(), area.size());
    quarnell::CurrentKeyText(kFileNumber);
    quarnell::ReadStep(kFileNumber, 1, status);
  }
  walk.end = status;
  return walk;
}

// The records of the layer's walk as the record manager gave them: the layer's data buffer holds
// 1536 bytes, and longer records arrive cut.
bool SameRecords(const Walk& layer, const Walk& engine) {
  if (layer.records.size() != engine.records.size()) return false;
  for (size_t i = 0; i < layer.records.size(); ++i) {
    const size_t shown = std::min<size_t>(engine.records[i].size(), quarnell::kDataBufferSize);
    if (layer.records[i].compare(0, shown, engine.records[i], 0, shown) != 0) return false;
  }
  return true;
}

void CheckThroughTheLayer(int16_t engine_open, const FileLayout* layout, const Walk* key0) {
  std::vector<char> area(layout != nullptr ? layout->record_length() : 1);
  int16_t status = -1;
  quarnell::OpenRecordFile(kFileNumber, ScratchFile().name, area, status);
  // The layer opens what the record manager opens, and fails on what it fails on.
  Check(status == engine_open);
  if (status == quarnell::kRecordOk && layout != nullptr) {
    const std::string described = quarnell::RecordFileLayout(kFileNumber);
    Check(quarnell::SameRecordLayout(described, described));
    quarnell::DescribeRecordLayout(described);
    const int16_t snapshot = quarnell::BeginReadSnapshot(kFileNumber);
    Check(snapshot == quarnell::kRecordOk || snapshot == quarnell::kRecordIoError);
    const Walk walk = LayerWalk(area);
    Check(walk.end == key0->end);
    Check(SameRecords(walk, *key0));
    const int32_t position = quarnell::RecordPosition(kFileNumber, 0);
    if (position != 0) quarnell::RecordPosition(kFileNumber, position);
  }
  int16_t reset = 0;
  quarnell::ResetRecordFiles(reset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentAlerts alerts;
  static NoWaitClock clock;
  static const bool set_up = [] {
    quarnell::SetAlerts(&alerts);
    quarnell::SetClock(&clock);
    quarnell::SetRecordFileExit([](int) {});
    return true;
  }();
  (void)set_up;
  WriteInput(data, size);

  Walk key0;
  FileLayout layout;
  bool walked = false;
  int16_t opened = quarnell::kRecordOk;
  {
    EngineFile file;
    opened = file.Open(ScratchFile().path);
    std::string create_data;
    if (opened == quarnell::kRecordOk && file.Stat(&create_data) == quarnell::kRecordOk) {
      // A file that opens has a description that holds together.
      Check(FileLayout::Parse(
                std::span(reinterpret_cast<const uint8_t*>(create_data.data()), create_data.size()),
                &layout) == quarnell::kRecordOk);
      for (size_t k = 0; k < layout.key_count() && k < kMaxKeys; ++k) {
        const Walk forward = EngineWalk(file, layout, k, true);
        const Walk backward = EngineWalk(file, layout, k, false);
        if (forward.end == quarnell::kRecordEndOfFile &&
            backward.end == quarnell::kRecordEndOfFile) {
          // Backwards from the last record gives the same records the other way round; the
          // forward walk may start later when a key's order puts zero bytes last.
          Check(forward.records.size() <= backward.records.size());
          Check(std::equal(
              forward.records.begin(), forward.records.end(),
              backward.records.rbegin() +
                  static_cast<ptrdiff_t>(backward.records.size() - forward.records.size())));
        }
        if (k == 0) key0 = forward;
      }
      walked = layout.key_count() > 0 && key0.end != quarnell::kRecordOk;
    }
  }
  CheckThroughTheLayer(opened, walked ? &layout : nullptr, &key0);
  return 0;
}
