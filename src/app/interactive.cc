#include "app/interactive.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "app/data_check.h"
#include "app/delivery_window.h"
#include "app/findings_window.h"
#include "app/progress_window.h"
#include "app/rental_fields.h"
#include "app/rental_files.h"
#include "app/run_driver.h"
#include "app/statement_run.h"
#include "config/attributes.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"
#include "config/translate.h"
#include "print/print_output.h"
#include "records/record_files.h"
#include "screen/form.h"
#include "screen/form_entry.h"
#include "screen/key_codes.h"
#include "screen/message_box.h"
#include "screen/popups.h"
#include "screen/window_stack.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "text/masks.h"

namespace quarnell {
namespace {

// The fields of the parameter screen and of the confirmation screen.
constexpr int kParameterScreen = 1;
constexpr int kDateField = 1;
constexpr int kFromField = 2;
constexpr int kToField = 3;
constexpr int kOptionField = 4;
constexpr int kConfirmationScreen = 2;
constexpr int kAnswerField = 1;

// The owners' pick list and the row by which messages are placed.
constexpr int kOwnerList = 1;
constexpr int kMessageRow = 12;

// An entry-values file larger than this is not one this program wrote; what fits is read.
constexpr size_t kLargestEntryValues = 64 * 1024;

DeliveryOptions& Outputs() {
  static DeliveryOptions outputs = [] {
    DeliveryOptions defaults;
    defaults.archive = true;
    return defaults;
  }();
  return outputs;
}

// The accepted parameters and the outputs as command-line words, for the archive's record.
std::vector<std::string> RunArguments(const RunParameters& run) {
  std::vector<std::string> words = {"--date",   ZeroPad(DateNumber(run.statement_date), 8),
                                    "--from",   PackedToDotted(run.owner_from),
                                    "--to",     PackedToDotted(run.owner_to),
                                    "--layout", run.report_option};
  for (std::string& word : words) word.erase(word.find_last_not_of(' ') + 1);
  if (!Outputs().split_directory.empty()) {
    words.insert(words.end(), {"--split", Outputs().split_directory});
  }
  if (!Outputs().figures_path.empty()) {
    words.insert(words.end(), {"--figures", Outputs().figures_path});
  }
  return words;
}

RunParameters& Accepted() {
  static RunParameters parameters;
  return parameters;
}

// Shows `text` in a message box with the bell until the operator presses a key.
void Tell(Console& console, const std::string& text) {
  ShowMessageUntilKey(console, text, kMessageRow);
}

// The owners of the range that a run prints (those whose state is 0), for the progress window.
int CountOwners(const std::string& from, const std::string& to) {
  std::span<const char> owner = RecordArea(kOwnerFile);
  int owners = 0;
  int16_t status = GetByKeyStatus(kOwnerFile, 0, from, 1);
  while (status == 0 && ReadCode(owner, kOwnerCode) <= to) {
    if (ReadByte(owner, kOwnerState) == 0) ++owners;
    ReadStep(kOwnerFile, 1, status);
  }
  return owners;
}

// A line of the entry-values file as a field value: control characters become blanks.
std::string Printable(std::string line) {
  for (char& c : line) {
    const uint8_t code = static_cast<uint8_t>(c);
    if (code < 32 || code == 127 || code == 255) c = ' ';
  }
  return line;
}

}  // namespace

const RunParameters& AcceptedParameters() { return Accepted(); }

void SetParameterDefaults() {
  SetEntryText(kParameterScreen, kDateField, DateEditText(DefaultStatementDate()));
  SetEntryText(kParameterScreen, kFromField, "1");
  SetEntryText(kParameterScreen, kToField, "9999");
  SetEntryText(kParameterScreen, kOptionField, "N");
}

std::string EntryValuesPath() {
  return HostPath(Session().session_directory + kEntryValuesFileName);
}

void RestoreEntryValues() {
  const std::string path = EntryValuesPath();
  SmallFile file = ReadSmallFile(path, kLargestEntryValues);
  if (file.state == FileState::kRead) {
    std::string_view rest = file.bytes;
    for (int screen = 1; screen <= ScreenCount() && !rest.empty(); ++screen) {
      const int fields = static_cast<int>(ScreenAt(screen).fields.size());
      for (int field = 1; field <= fields && !rest.empty(); ++field) {
        const size_t end = rest.find('\n');
        std::string line(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Printable(line.substr(0, static_cast<size_t>(FieldAt(screen, field).length)));
        if (EntryFits(screen, field, line)) SetEntryText(screen, field, line);
      }
    }
  }
  if (file.state != FileState::kNotRegular) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

bool SaveEntryValues() {
  std::string lines;
  for (int screen = 1; screen <= ScreenCount(); ++screen) {
    for (const FormField& field : ScreenAt(screen).fields) lines += field.entry + "\r\n";
  }
  return ReplaceFile(EntryValuesPath(), lines) == 0;
}

void InstallFormHooks() {
  FormHooks hooks;
  hooks.accept_form = AcceptForm;
  hooks.browse_line = BrowseLine;
  hooks.browse_pick = BrowsePick;
  hooks.browse_start = BrowseStart;
  SetFormHooks(std::move(hooks));
}

int16_t AcceptForm(Console& console, int screen, int16_t& key) {
  if (key == kKeyEsc || screen != kParameterScreen) return 0;
  // Values restored or entered are checked as they are taken, so that no run starts from a value
  // its field would refuse.
  for (int field : {kDateField, kFromField, kToField, kOptionField}) {
    if (!EntryFits(screen, field, EntryText(screen, field))) {
      console.Bell();
      return -1;
    }
  }
  RunParameters& accepted = Accepted();
  accepted.statement_date = ParseDate(EntryText(screen, kDateField));
  accepted.owner_from = DottedToPacked(EntryText(screen, kFromField));
  accepted.owner_to = DottedToPacked(EntryText(screen, kToField));
  accepted.report_option = EntryText(screen, kOptionField);
  if (accepted.owner_from > accepted.owner_to) {
    console.Bell();  // the range is refused without a message; the bell says so
    return -1;
  }
  // A range without an owner to print would run, print nothing and have the print program fail.
  if (CountOwners(accepted.owner_from, accepted.owner_to) == 0) {
    Tell(console, Translate("No hi ha cap propietari per emetre entre aquests codis."_cp850));
    return -1;
  }
  CheckSettings check;
  check.statement_date = accepted.statement_date;
  check.owner_from = accepted.owner_from;
  check.owner_to = accepted.owner_to;
  check.layout = accepted.report_option.front();
  OfferFindings(console, CheckDataOnScreen(console, check));
  SetEntryText(kConfirmationScreen, kAnswerField, "");
  RunForm(console, kConfirmationScreen, 0, 0, key);
  return EntryText(kConfirmationScreen, kAnswerField) == "S" ? 0 : -1;
}

std::string BrowseLine(int browse) {
  if (browse != kOwnerList) return std::string();
  std::span<const char> owner = RecordArea(kOwnerFile);
  return UnpackDigits(ReadCode(owner, kOwnerCode)) + "  " + ReadText(owner, kOwnerName);
}

int16_t BrowsePick(Console& console, int& browse, int screen, int field) {
  if (browse != kOwnerList || screen < 1 || field < 1) return 0;
  const std::string code = UnpackDigits(ReadCode(RecordArea(kOwnerFile), kOwnerCode));
  return CheckField(console, screen, code, field, 0);
}

int16_t BrowseStart(int browse, std::string& from_key, std::string& to_key) {
  if (browse != kOwnerList || browse > static_cast<int>(Form().browses.size())) return 0;
  const int screen = Form().browses[browse - 1].slots[6];
  if (screen < 1 || ScreenAt(screen).fields.empty()) return 0;
  std::string letters = EntryText(screen, 1);
  letters.erase(letters.find_last_not_of(' ') + 1);
  // Names are kept in capitals: what the operator types in small letters finds them too.
  const bool mode = FoldMode();
  SetFoldMode(false);
  from_key = to_key = FoldText(letters);
  SetFoldMode(mode);
  return 0;
}

void SetRunOutputs(const DeliveryOptions& outputs) { Outputs() = outputs; }

void PrintStatements(Console& console) {
  std::string problem;
  if (!ClaimSpoolFile(kSpoolWaitMilliseconds, &problem)) {
    Tell(console,
         Translate("Una altra emissió fa servir el directori de sessió; torneu-ho a provar "
                   "quan acabi."_cp850) +
             " (" + problem + ")");
    return;
  }
  RunDelivery delivery(Outputs());
  if (!delivery.Prepare(&problem)) {
    ReleaseSpoolFile();
    Tell(console,
         Translate("No s'han pogut escriure els fitxers de l'emissió:"_cp850) + " " + problem);
    return;
  }
  const RunParameters& run = Accepted();
  bool stopped = false;
  {
    ProgressWindow progress(console, CountOwners(run.owner_from, run.owner_to));
    SetStatementProgress([&progress](const std::string& code, const std::string& name) {
      return progress.NextOwner(code, name);
    });
    StatementRun(run.statement_date, run.owner_from, run.owner_to, run.report_option,
                 Session().output_device);
    SetStatementProgress(nullptr);
    stopped = progress.stopped();
  }
  console.DiscardPendingKeys();  // typed during the run: not meant for the parameter screen
  const bool saved = SaveEntryValues();
  int16_t status = 0;
  ResetRecordFiles(status);

  DeliverOnScreen(console, delivery, DeliveryNeedsTerminal(Session().output_device, Outputs()),
                  RunArguments(run), !stopped);
  ReleaseSpoolFile();
  OpenRentalFiles();

  if (stopped) Tell(console, Translate("Emissió aturada per l'operador."_cp850));
  if (!saved) {
    Tell(console,
         Translate("No s'han pogut desar els valors entrats a"_cp850) + " " + EntryValuesPath());
  }
}

int RunInteractive(Console& console) {
  console.HideCursor();
  EnterInstallation();
  LoadForm(Session().root_directory + "FORMS\\" + kModuleName + ".JPN");
  SetParameterDefaults();
  OpenRecordsAndTables();
  InstallFormHooks();
  InstallPopups();
  RestoreEntryValues();
  SetAttribute("n");
  console.Clear();
  for (;;) {
    int16_t key = 0;
    RunForm(console, kParameterScreen, 0, 0, key);
    if (key == kKeyEsc) break;
    PrintStatements(console);
  }
  int16_t status = 0;
  ResetRecordFiles(status);
  return 0;
}

}  // namespace quarnell
