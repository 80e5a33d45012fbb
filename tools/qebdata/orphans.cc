#include "tools/qebdata/orphans.h"

#include <string>
#include <utility>

#include "app/data_check.h"
#include "records/engine/record_call.h"
#include "tools/qebdata/installation.h"

namespace quarnell {
namespace {

constexpr std::array<std::string_view, 3> kParentFiles = {"VPropiet", "VGrups", "VDepBase"};
constexpr std::array<size_t, 3> kParentKeyLengths = {2, 4, 6};

// How many of the owner, property and unit levels the key of `file` reaches: 0 for the files not
// keyed by owner (suppliers, concepts, sections).
size_t KeyLevels(const FileLayout& file) {
  size_t levels = 0;
  for (const std::string_view name : {"owner", "property", "unit"}) {
    if (levels >= static_cast<size_t>(file.key_field_count) || file.fields[levels].name != name) {
      break;
    }
    ++levels;
  }
  return levels;
}

}  // namespace

ParentLookup::ParentLookup(std::string root) : root_(std::move(root)) {
  for (size_t i = 0; i < levels_.size(); ++i) levels_[i].file = FindRentalFile(kParentFiles[i]);
}

bool ParentLookup::Has(Level& level, std::string_view key) {
  if (level.tried && key == level.last_key) return level.last_found;
  if (!level.tried) {
    level.tried = true;
    level.readable =
        level.store.Open(RecordFilePath(root_, *level.file), kOpenReadOnly) == kRecordOk;
  }
  std::string record;
  const int16_t status = level.readable ? level.store.GetEqual(key, &record) : kRecordOk;
  level.last_key.assign(key);
  level.last_found = status != kRecordKeyNotFound && status != kRecordEndOfFile;
  return level.last_found;
}

std::string_view ParentLookup::MissingParent(const FileLayout& file, std::string_view record) {
  const size_t levels = KeyLevels(file);
  for (size_t i = 0; i < levels; ++i) {
    // A file is not its own parent: a unit belongs to a property and an owner, not to a unit.
    if (levels_[i].file == &file) break;
    if (!Has(levels_[i], record.substr(0, kParentKeyLengths[i]))) return kParentFiles[i];
  }
  return {};
}

OrphanTally::OrphanTally(const std::string& root, const FileLayout& file)
    : file_(file), parents_(root) {}

void OrphanTally::Add(std::string_view record) {
  ++records_;
  const std::string_view missing = parents_.MissingParent(file_, record);
  if (missing.empty()) return;
  if (orphans_++ == 0) first_key_ = DottedKey(record.substr(0, file_.KeyLength()));
  ++missing_[missing];
}

void OrphanTally::Warn(std::ostream& err, std::string_view verb) const {
  if (orphans_ == 0) return;
  std::string missing;
  for (const auto& [base_name, count] : missing_) {
    missing += (missing.empty() ? "no " : ", no ") + std::string(base_name) + " record for " +
               std::to_string(count);
  }
  const std::string records =
      records_ == 1 ? "the record"
      : orphans_ == records_
          ? "all " + std::to_string(records_) + " records"
          : std::to_string(orphans_) + " of the " + std::to_string(records_) + " records";
  err << "qebdata: warning: " << records << " " << verb << " " << file_.base_name
      << (orphans_ == 1 ? " has" : " have") << " no owner, property or unit on file (" << missing
      << "; the first: " << first_key_ << "): the statement never reads "
      << (orphans_ == 1 ? "it" : "them") << "; quarnell --check lists them\n";
}

void WarnOfOrphansLeft(const std::string& root, const FileLayout& file, std::ostream& err) {
  const size_t level = KeyLevels(file);
  bool parent = false;
  for (const std::string_view name : kParentFiles) parent = parent || name == file.base_name;
  if (!parent) return;
  for (const FileLayout& child : kRentalFiles) {
    if (&child == &file || KeyLevels(child) < level) continue;
    RecordStore store;
    if (store.Open(RecordFilePath(root, child), kOpenReadOnly) != kRecordOk) continue;
    OrphanTally tally(root, child);
    std::string record;
    for (int16_t status = store.GetFirst(&record); status == kRecordOk;
         status = store.GetNext(&record)) {
      tally.Add(record);
    }
    tally.Warn(err, "left in");
  }
}

}  // namespace quarnell
