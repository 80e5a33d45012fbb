#include "app/delivery_window.h"

#include <algorithm>
#include <filesystem>

#include "app/run_driver.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"
#include "config/translate.h"
#include "print/print_output.h"
#include "screen/message_box.h"
#include "screen/window_stack.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

// Messages are placed by this row.
constexpr int kMessageRow = 12;
// What the print programs say of one run is a few lines; more is not theirs to say.
constexpr size_t kLargestSay = 64 * 1024;
// The print program's last lines that go into the box when it failed: the box must fit the screen.
constexpr size_t kFailureLinesShown = 4;

// The files that hold what the print programs write while the screen is up.
constexpr char kOutputFile[] = "qebprint.out";
constexpr char kErrorFile[] = "qebprint.err";

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// A UTF-8 text of the print program as the screen shows it.
std::string ForScreen(std::string_view utf8) {
  return Utf8ToCp850Replacing(utf8, '?', nullptr).value_or(std::string(utf8));
}

// What the print programs write while the screen is up goes to two files of the session directory,
// read and removed afterwards.
class PrintProgramWords {
 public:
  PrintProgramWords()
      : output_path_(HostPath(Session().session_directory + kOutputFile)),
        error_path_(HostPath(Session().session_directory + kErrorFile)) {
    Remove();  // what an interrupted run left
    SetPrintProgramOutput(output_path_, error_path_);
  }
  ~PrintProgramWords() {
    SetPrintProgramOutput("", "");
    Remove();
  }
  PrintProgramWords(const PrintProgramWords&) = delete;
  PrintProgramWords& operator=(const PrintProgramWords&) = delete;

  std::string Output() const { return ReadSmallFile(output_path_, kLargestSay).bytes; }
  std::string Errors() const { return ReadSmallFile(error_path_, kLargestSay).bytes; }

 private:
  void Remove() {
    std::error_code ignored;
    std::filesystem::remove(output_path_, ignored);
    std::filesystem::remove(error_path_, ignored);
  }

  std::string output_path_;
  std::string error_path_;
};

// The message of a print program that failed: its status, its last lines, where the report is.
std::string FailureMessage(int status, std::string_view errors) {
  std::string text = Translate("El programa d'impressió ha acabat amb l'estat"_cp850) + " " +
                     std::to_string(status) + ".";
  std::vector<std::string> lines = Lines(errors);
  const size_t first = lines.size() > kFailureLinesShown ? lines.size() - kFailureLinesShown : 0;
  for (size_t i = first; i < lines.size(); ++i) text += " " + ForScreen(lines[i]);
  return text + " " + Translate("L'informe és a"_cp850) + " " + HostPath(SpoolFileName());
}

// Runs the delivery with the print programs' words kept off the screen, under a box that says the
// report is being printed.
Delivered DeliverUnderBox(Console& console, RunDelivery& delivery,
                          const std::vector<std::string>& arguments, bool complete,
                          std::string* output, std::string* errors) {
  PrintProgramWords words;
  ShowMessageBox(console, Translate("S'està imprimint l'informe; espereu."_cp850), kMessageRow);
  console.Refresh();
  Delivered delivered = delivery.Deliver(arguments, complete);
  PopWindow(console);
  *output = words.Output();
  *errors = words.Errors();
  return delivered;
}

void TellOutcome(Console& console, const Delivered& delivered, std::string_view output,
                 std::string_view errors) {
  if (delivered.print_status != 0) {
    ShowMessageUntilKey(console, FailureMessage(delivered.print_status, errors), kMessageRow);
  } else if (!delivered.ok) {
    ShowMessageUntilKey(
        console,
        Translate("No s'ha pogut completar l'emissió:"_cp850) + " " + ForScreen(delivered.problem),
        kMessageRow);
  } else if (std::vector<std::string> files = ReportFilesNamed(output); !files.empty()) {
    std::string text = Translate("L'informe és a"_cp850);
    for (const std::string& file : files) text += " " + ForScreen(file);
    ShowMessageUntilKey(console, text, kMessageRow, false);
  }
}

}  // namespace

bool DeliveryNeedsTerminal(std::string_view device, const DeliveryOptions& options) {
  if (!options.print || !options.split_directory.empty()) return false;
  std::string_view keyword = device.substr(0, device.find(':'));
  keyword.remove_prefix(std::min(keyword.size(), keyword.find_first_not_of(' ')));
  keyword = keyword.substr(0, keyword.find_last_not_of(' ') + 1);
  constexpr std::string_view kScreen = "PANTALLA";
  return std::equal(keyword.begin(), keyword.end(), kScreen.begin(), kScreen.end(),
                    [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; });
}

Delivered DeliverOnScreen(Console& console, RunDelivery& delivery, bool needs_terminal,
                          const std::vector<std::string>& arguments, bool complete) {
  std::string output;
  std::string errors;
  Delivered delivered;
  if (needs_terminal) {
    console.Suspend();
    delivered = delivery.Deliver(arguments, complete);
    console.Resume();
  } else {
    delivered = DeliverUnderBox(console, delivery, arguments, complete, &output, &errors);
  }
  console.DiscardPendingKeys();  // typed while the report was being printed
  TellOutcome(console, delivered, output, errors);
  return delivered;
}

std::vector<std::string> ReportFilesNamed(std::string_view output) {
  std::vector<std::string> files;
  for (std::string& line : Lines(output)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(line, error)) files.push_back(std::move(line));
  }
  return files;
}

}  // namespace quarnell
