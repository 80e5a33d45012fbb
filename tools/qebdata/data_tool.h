// The data tool's commands: init, import, export, demo, generate (and dictionaries, which
// rewrites the shipped dictionary files from the layout table).
#ifndef QUARNELL_TOOLS_QEBDATA_DATA_TOOL_H_
#define QUARNELL_TOOLS_QEBDATA_DATA_TOOL_H_

#include <ostream>
#include <string>
#include <vector>

namespace quarnell {

struct DataToolContext {
  std::string install_dir;  // the shipped installation data (the repository's install/)
  std::ostream* out;        // exported CSV when no file is named
  std::ostream* err;        // messages and progress
};

// Runs one command; `args` are the arguments after the program name. Returns the exit status:
// 0 success, 1 failure of the system (a locked or damaged file), 2 bad usage or bad data.
int RunDataTool(const std::vector<std::string>& args, const DataToolContext& context);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_DATA_TOOL_H_
