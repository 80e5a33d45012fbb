// Records that the statement never reaches because their owner, property or unit has no record
// of its own, as the data tool sees them when it adds or removes records: it warns, it never
// refuses (the parent may come in the next file imported).
#ifndef QUARNELL_TOOLS_QEBDATA_ORPHANS_H_
#define QUARNELL_TOOLS_QEBDATA_ORPHANS_H_

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "app/record_layouts.h"
#include "tools/qebdata/record_store.h"

namespace quarnell {

// Looks up the owner, property and unit records that rental records belong to, in the
// installation at `root`. The last key sought on each level is remembered, so records in key
// order cost one lookup per owner, property and unit.
class ParentLookup {
 public:
  explicit ParentLookup(std::string root);

  // The base name of the first missing record among the owner (VPropiet), property (VGrups) and
  // unit (VDepBase) of `record`, a record of `file`; empty when they are all there, or when
  // `file` is not keyed by owner. A parent file that cannot be read counts as holding them: the
  // data tool warns only of what it knows.
  std::string_view MissingParent(const FileLayout& file, std::string_view record);

 private:
  struct Level {
    const FileLayout* file = nullptr;
    RecordStore store;
    bool tried = false;  // the file was opened, or an open was attempted
    bool readable = false;
    std::string last_key;
    bool last_found = false;
  };
  bool Has(Level& level, std::string_view key);

  std::string root_;
  std::array<Level, 3> levels_;  // owner, property, unit
};

// The orphans among the records added to one file, for one warning line.
class OrphanTally {
 public:
  OrphanTally(const std::string& root, const FileLayout& file);

  void Add(std::string_view record);

  // "qebdata: warning: 3 of the 120 records added to VCobros ..." on `err` when any record added
  // has no owner, property or unit record; nothing otherwise. `verb` is "added to", "left in".
  void Warn(std::ostream& err, std::string_view verb = "added to") const;

 private:
  const FileLayout& file_;
  ParentLookup parents_;
  int64_t records_ = 0;
  int64_t orphans_ = 0;
  std::map<std::string_view, int64_t> missing_;  // by the base name of the missing record
  std::string first_key_;
};

// After the records of `file` were replaced or removed: for each file whose records belong to
// records of `file` (the files below VPropiet, VGrups or VDepBase), one warning line when some of
// them have lost their owner, property or unit record. Walks those files in key order.
void WarnOfOrphansLeft(const std::string& root, const FileLayout& file, std::ostream& err);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_ORPHANS_H_
