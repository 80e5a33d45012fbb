#include "app/run_driver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

#include "app/letterhead.h"
#include "app/parameter_table.h"
#include "app/rental_files.h"
#include "config/child_process.h"
#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/translate.h"
#include "print/print_output.h"
#include "text/clock.h"
#include "text/masks.h"

namespace quarnell {

void AnchorDirectories() {
  const std::string here = std::filesystem::current_path().string() + "/";
  for (const char* name : {"QEBROOT", "QEBTMP", "QEBEXE"}) {
    std::string value = EnvironmentValue(name);
    if (value.empty()) continue;
    if (value.front() != '/') value = here + value;
    setenv(name, value.c_str(), 1);
  }
  // Without a session directory the spool file and the PDF go where qebdata init made room for
  // them, and their paths are shown whole.
  if (EnvironmentValue("QEBTMP").empty()) {
    std::string root = EnvironmentValue("QEBROOT");
    if (root.empty()) root = here;
    // The print program takes the variable as it is: a host path, "/" between its names.
    if (root.back() != '/') root += '/';
    setenv("QEBTMP", (root + "tmp/").c_str(), 1);
  }
}

long PeakResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

void EnterInstallation() {
  StartConfiguration();
  const std::string& root = Session().root_directory;
  if (!root.empty()) {
    const std::string host_root = HostPath(root);
    if (chdir(host_root.c_str()) != 0) {
      ErrorStop("cannot make the root directory " + host_root +
                " the current directory: " + std::strerror(errno));
    }
  }
  SetModuleName(kModuleName);
}

void OpenInstallation() {
  EnterInstallation();
  OpenRentalFiles();
}

void OpenRecordsAndTables() {
  // The letterhead first: a run it refuses has written nothing.
  LoadLetterhead();
  OpenRentalFiles();
  LoadParameterTable();
}

void StartUpWithoutScreen() {
  EnterInstallation();
  OpenRecordsAndTables();
}

Date DefaultStatementDate() {
  const std::string& working_date = Session().working_date;
  int32_t year = 0;
  if (working_date.size() >= 2) {
    const std::string digits = UnpackDigits(working_date.substr(0, 2));
    if (digits.size() == 4 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      year = std::stoi(digits);
    }
  }
  if (year < 1) year = CurrentClock().Today() / 10000;
  return PackDigits(ZeroPad(year - 1, 4) + "1231");
}

std::string PrintProgramPath() { return HostPath(Session().program_directory + "QEBPRINT"); }

namespace {

ChildSetup& OutputOfPrintPrograms() {
  static ChildSetup output;
  return output;
}

}  // namespace

void SetPrintProgramOutput(const std::string& output_path, const std::string& error_path) {
  OutputOfPrintPrograms().output_path = output_path;
  OutputOfPrintPrograms().error_path = error_path;
}

int RunPrintProgram(const std::vector<std::string>& arguments, bool quiet) {
  const std::string path = PrintProgramPath();
  ChildSetup output = OutputOfPrintPrograms();
  output.discard_output = quiet;
  const ChildExit exit = RunChildProgram(path, arguments, output);
  if (exit.start_error != 0) {
    // The report is complete in the spool file; what is wrong is where the program looks.
    const std::string& directory = Session().program_directory;
    ErrorStop("cannot start the print program " + path + ": " + std::strerror(exit.start_error) +
              "; check QEBEXE, the directory of the print program (now " +
              (directory.empty() ? "not set: the current directory" : PathForCommand(directory)) +
              "); the report stays in " + HostPath(SpoolFileName()));
  }
  return exit.status;
}

}  // namespace quarnell
