// Runs the data tool in-process on scratch installations.
#ifndef QUARNELL_TESTS_QEBDATA_DATA_TOOL_SUPPORT_H_
#define QUARNELL_TESTS_QEBDATA_DATA_TOOL_SUPPORT_H_

#include <sstream>
#include <string>
#include <vector>

#include "app/record_layouts.h"
#include "records/engine/record_call.h"
#include "tools/qebdata/data_tool.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/record_store.h"

namespace quarnell::testing {

inline const std::string kInstallDir = std::string(QEB_SOURCE_DIR) + "/install";

struct ToolRun {
  int exit = -1;
  std::string out;
  std::string err;
};

inline ToolRun RunTool(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  ToolRun run;
  run.exit = RunDataTool(args, DataToolContext{kInstallDir, &out, &err});
  run.out = out.str();
  run.err = err.str();
  return run;
}

// Every record of a file in key 0 order, as stored.
inline std::vector<std::string> StoredRecords(const std::string& root, const FileLayout& file) {
  std::vector<std::string> records;
  RecordStore store;
  if (store.Open(RecordFilePath(root, file), kOpenReadOnly) != kRecordOk) return records;
  std::string record;
  for (int16_t status = store.GetFirst(&record); status == kRecordOk;
       status = store.GetNext(&record)) {
    records.push_back(record);
  }
  return records;
}

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_QEBDATA_DATA_TOOL_SUPPORT_H_
