#include "tools/qebprint/print_program.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include "config/child_process.h"
#include "config/paths.h"
#include "config/session.h"
#include "print/fresh_file.h"
#include "print/spool_marks.h"
#include "text/clock.h"
#include "tools/qebprint/owner_split.h"
#include "tools/qebprint/page_layout.h"
#include "tools/qebprint/pdf_renderer.h"
#include "tools/qebprint/spool_reader.h"
#include "tools/qebprint/text_renderer.h"

namespace quarnell {
namespace {

constexpr char kUsage[] =
    "Usage: qebprint [--input SPOOL] [--device DEVICE] [--output PATH]\n"
    "       qebprint [--input SPOOL] --split DIR\n"
    "\n"
    "Renders a spool file written by the statement program. Without arguments it reads\n"
    "qebprint.tmp in the session directory ($QEBTMP) and prints to the device named in the\n"
    "spool's first line.\n"
    "\n"
    "  --input SPOOL    read this spool file instead\n"
    "  --device DEVICE  override the spool's device:\n"
    "                     PDF, PDF:<path>    a PDF (default: informe-YYYYMMDD-HHMMSS.pdf in the\n"
    "                                        session directory); its path is printed\n"
    "                     TXT, TXT:<path>    paginated UTF-8 text, a form feed between pages\n"
    "                     PANTALLA           the text on the screen through a pager (less -R)\n"
    "                     LP, LP:<queue>     the PDF sent to a print queue with lp\n"
    "  --output PATH    where PDF and TXT write (and where LP keeps its PDF)\n"
    "  --split DIR      instead of the device: one PDF per owner in DIR (made when missing),\n"
    "                   named <code>-<SURNAME_NAME>-<year>-<layout>.pdf, and DIR/index.csv with\n"
    "                   owner,name,tax_id,properties,pages,file,sha256,note (an owner whose\n"
    "                   statements print nothing gets a row and no file); the index's path is\n"
    "                   printed. A spool without owner marks goes to one file, with a warning.\n"
    "  --help           this text\n"
    "\n"
    "Marks. The statement program writes these directive lines into the spool; a printer\n"
    "ignores them, the split follows them, and a PDF is dated by the run's start, so that\n"
    "printing the same spool file again gives the same bytes:\n"
    "  *QEB-RUN <YYYYMMDD-HHMMSS> <statement date YYYYMMDD> <layout> <from> <to>\n"
    "  *QEB-OWNER <code, 4 digits> <tax id, 17 characters> <name as stored, SURNAME*NAME>\n"
    "  *QEB-OWNER-END <code> <properties printed>\n"
    "Pages between an owner's two marks are that owner's; pages outside any owner's marks go\n"
    "to informe-<year>-<layout>.pdf.\n"
    "\n"
    "A report is written under a hidden temporary name and renamed when complete (a split in a\n"
    "hidden directory in DIR, moved into DIR when complete, the index last); what a killed\n"
    "qebprint left half written is removed at the next start.\n"
    "\n"
    "Exit status:\n"
    "  0  the report was delivered to its device\n"
    "  1  it was not: no spool file, nothing to print in it, an output that cannot be written,\n"
    "     lp missing or failing, a device the spool names that qebprint does not know (any\n"
    "     PDF made all the same is named on standard error and standard output)\n"
    "  2  a bad command line: an unknown argument or device, an input that cannot be read\n"
    "  3  the report was delivered, but damaged lines of the spool file were skipped (how many\n"
    "     is said on standard error), or the spool file was cut short inside an owner's\n"
    "     statements\n";

// What the split keeps of freed memory for the next document.
constexpr int kKeptHeap = 32 << 20;

const char kDeviceNames[] = "PDF, PDF:<path>, TXT, TXT:<path>, PANTALLA, LP, LP:<queue>";

struct Options {
  std::string input;
  std::optional<std::string> device;
  std::string output;
  std::optional<std::string> split;
  bool help = false;
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Parses the command line; on a bad one returns nullopt with the reason in `problem`.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* problem) {
  Options options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name != "--input" && name != "--device" && name != "--output" && name != "--split") {
      *problem = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        *problem = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (name == "--input") options.input = *value;
    if (name == "--device") options.device = *value;
    if (name == "--output") options.output = *value;
    if (name == "--split") options.split = *value;
  }
  if (options.split && (options.device || !options.output.empty())) {
    *problem = "--split writes its own files: it takes no --device or --output";
    return std::nullopt;
  }
  if (options.split && options.split->empty()) {
    *problem = "--split needs a directory";
    return std::nullopt;
  }
  if (options.device && !ParseDevice(*options.device).recognised) {
    *problem = "--device " + *options.device + ": not a device (" + kDeviceNames + ")";
    return std::nullopt;
  }
  return options;
}

std::string TwoDigits(int value) {
  return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// "informe-YYYYMMDD-HHMMSS" from the clock.
std::string DefaultBaseName() {
  Clock& clock = CurrentClock();
  int32_t seconds = clock.SecondsOfDay();
  return "informe-" + std::to_string(clock.Today()) + "-" + TwoDigits(seconds / 3600) +
         TwoDigits(seconds / 60 % 60) + TwoDigits(seconds % 60);
}

// Runs a program found on PATH with the terminal it inherits, and waits for it.
ChildExit RunFromPath(const std::vector<std::string>& words,
                      std::vector<std::string> environment_defaults = {}) {
  ChildSetup setup;
  setup.search_path = true;
  setup.environment_defaults = std::move(environment_defaults);
  return RunChildProgram(words[0], {words.begin() + 1, words.end()}, setup);
}

void Say(std::FILE* err, const std::string& message) {
  std::fprintf(err, "qebprint: %s\n", message.c_str());
}

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

Device ParseDevice(std::string_view name) {
  size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return Device{};
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  size_t colon = name.find(':');
  std::string keyword = Upper(name.substr(0, colon));
  std::string argument = colon == std::string_view::npos ? "" : std::string(name.substr(colon + 1));
  Device device;
  device.argument = argument;
  if (keyword == "PDF") {
    device.kind = DeviceKind::kPdf;
  } else if (keyword == "TXT") {
    device.kind = DeviceKind::kText;
  } else if (keyword == "PANTALLA") {
    device.kind = DeviceKind::kScreen;
    device.argument.clear();
  } else if (keyword == "LP") {
    device.kind = DeviceKind::kPrinter;
  } else {
    device = Device{};
    device.recognised = false;
  }
  return device;
}

namespace {

struct Rendition {
  bool ok = true;
  std::string problem;  // when not ok
  int32_t pages = 0;
};

// Damaged marks met on the way (see print/spool_marks.h), and owners whose statements began but
// never ended: a spool file cut at the end of a line, which no damaged line betrays.
struct MarkCount {
  int64_t damaged = 0;
  int64_t first_line = 0;
  std::string open_owner;  // the code of the owner whose statements are being read
  int64_t unended = 0;
  std::string first_unended;

  void Note(MarkKind kind, const OwnerMark& owner) {
    if (kind == MarkKind::kOwner) {
      EndOpenOwner();
      open_owner = owner.code;
    } else if (kind == MarkKind::kOwnerEnd) {
      open_owner.clear();
    }
  }
  // Counts the owner still open, if any, as one whose statements have no end.
  void EndOpenOwner() {
    if (open_owner.empty()) return;
    if (unended++ == 0) first_unended = open_owner;
    open_owner.clear();
  }
};

using MarkHandler = std::function<bool(MarkKind kind, const RunMark& run, const OwnerMark& owner)>;

// Lays out every instruction still in `reader` (after `first`, when given), telling `on_mark` of
// each mark before the layout sees it, and ends the last page. False when the sink or `on_mark`
// failed.
bool LayOut(SpoolReader& reader, const SpoolInstruction* first, PageLayout& layout,
            const MarkHandler& on_mark, MarkCount* marks) {
  RunMark run;
  OwnerMark owner;
  auto step = [&](const SpoolInstruction& instruction) {
    if (instruction.kind == SpoolLineKind::kDirective) {
      const MarkKind kind = ParseMark(instruction.text, &run, &owner);
      if (kind == MarkKind::kDamaged && marks->damaged++ == 0) {
        marks->first_line = reader.lines_read();
      }
      marks->Note(kind, owner);
      if (kind != MarkKind::kNone && kind != MarkKind::kDamaged && !on_mark(kind, run, owner)) {
        return false;
      }
    }
    return layout.Apply(instruction);
  };
  bool ok = first == nullptr || step(*first);
  SpoolInstruction instruction;
  while (ok && reader.Next(&instruction)) ok = step(instruction);
  marks->EndOpenOwner();
  return ok && layout.Finish();
}

// Lays out the report and renders the pages into `output` as the device wants them.
Rendition Render(SpoolReader& reader, const SpoolInstruction* first, DeviceKind kind,
                 FreshFile& output, MarkCount* marks) {
  std::unique_ptr<PdfPageSink> pdf;
  std::unique_ptr<TextPageSink> text;
  PageSink* sink = nullptr;
  if (kind == DeviceKind::kPdf || kind == DeviceKind::kPrinter) {
    pdf = std::make_unique<PdfPageSink>(output.file());
    sink = pdf.get();
  } else {
    text = std::make_unique<TextPageSink>(output.file(), kind == DeviceKind::kScreen
                                                             ? TextPageSink::Style::kTerminal
                                                             : TextPageSink::Style::kPlain);
    sink = text.get();
  }
  PageLayout layout(*sink);
  auto on_mark = [&pdf](MarkKind kind, const RunMark& run, const OwnerMark&) {
    if (kind == MarkKind::kRun && pdf != nullptr) pdf->SetCreationDate(IsoStarted(run));
    return true;
  };
  bool ok = LayOut(reader, first, layout, on_mark, marks);
  if (pdf != nullptr && !pdf->Finish()) ok = false;

  Rendition rendition;
  rendition.pages = layout.pages_emitted();
  if (!ok) {
    rendition.ok = false;
    rendition.problem =
        "cannot write " + output.path() + ": " +
        (pdf != nullptr && !pdf->error().empty() ? pdf->error() : std::strerror(errno));
  }
  std::string problem;
  if (!output.Close(&problem) && rendition.ok) {
    rendition.ok = false;
    rendition.problem = problem;
  }
  return rendition;
}

// What the reading of the spool file says of the report: kPrintFailed when the read failed part
// way, kPrintDamagedSpool when damaged lines or marks were skipped, else kPrintDone.
int SpoolStatus(const SpoolFile& spool, const SpoolReader& reader, const MarkCount& marks,
                const std::string& spool_path, std::FILE* err) {
  int status = kPrintDone;
  if (spool.read_error() != 0) {
    Say(err, "reading " + spool_path + " failed part way: " + std::strerror(spool.read_error()));
    status = kPrintFailed;
  }
  if (reader.malformed_lines() > 0) {
    Say(err, Plural(reader.malformed_lines(), "damaged line", "damaged lines") +
                 " of the spool file skipped (the first is line " +
                 std::to_string(reader.first_malformed_line()) + ")");
    if (status == kPrintDone) status = kPrintDamagedSpool;
  }
  if (marks.damaged > 0) {
    Say(err, Plural(marks.damaged, "damaged mark", "damaged marks") +
                 " of the spool file ignored (the first is line " +
                 std::to_string(marks.first_line) + ")");
    if (status == kPrintDone) status = kPrintDamagedSpool;
  }
  if (marks.unended > 0) {
    Say(err, "the statements of " + Plural(marks.unended, "owner", "owners") +
                 " have no end mark (the first: owner " + marks.first_unended +
                 "): the spool file was cut short, and the report is not complete");
    if (status == kPrintDone) status = kPrintDamagedSpool;
  }
  return status;
}

// The report as one PDF per owner in `directory` (see owner_split.h).
int PrintSplit(SpoolReader& reader, const SpoolInstruction* first, const SpoolFile& spool,
               const std::string& spool_path, const std::string& directory, std::FILE* out,
               std::FILE* err) {
  if (std::string font = PdfPageSink::FontProblem(); !font.empty()) Say(err, font);
  // Each document's compressor takes and gives back a few hundred KiB; kept by the allocator
  // rather than returned to the system, they cost no page faults in the next document.
  mallopt(M_TRIM_THRESHOLD, kKeptHeap);
  mallopt(M_MMAP_THRESHOLD, kKeptHeap);
  OwnerSplit split(directory);
  std::string problem;
  if (!split.Begin(&problem)) {
    Say(err, problem + "; nothing was written");
    return kPrintFailed;
  }
  PageLayout layout(split);
  auto on_mark = [&split, &layout](MarkKind kind, const RunMark& run, const OwnerMark& owner) {
    switch (kind) {
      case MarkKind::kRun:
        split.SetRun(run);
        return true;
      case MarkKind::kOwner:
        return layout.EndPage() && split.BeginOwner(owner);
      case MarkKind::kOwnerEnd:
        return layout.EndPage() && split.EndOwner(owner);
      default:
        return true;
    }
  };
  MarkCount marks;
  if (!LayOut(reader, first, layout, on_mark, &marks)) {
    Say(err, split.error() + "; nothing was written");
    return kPrintFailed;
  }
  const int status = SpoolStatus(spool, reader, marks, spool_path, err);
  if (layout.pages_emitted() == 0) {
    Say(err, "nothing to print in " + spool_path + "; nothing was written");
    return kPrintFailed;
  }
  if (!split.Finish(&problem)) {
    Say(err, problem + "; nothing was written");
    return kPrintFailed;
  }
  if (split.owners() == 0) {
    Say(err,
        "the spool file marks no owners (a spool of an older version, or written by hand): "
        "the whole report went to one file, " +
            split.unmarked_file());
  } else if (split.unmarked_pages() > 0) {
    Say(err, Plural(split.unmarked_pages(), "page", "pages") +
                 " outside any owner's marks went to " + split.unmarked_file());
  }
  Say(err, Plural(layout.pages_emitted(), "page", "pages") + " from " + spool_path +
               " split into " + Plural(split.files(), "file", "files") + " for " +
               Plural(split.owners(), "owner", "owners") + " in " + directory);
  std::fprintf(out, "%s/%s\n", directory.c_str(), kSplitIndexName);
  return status;
}

// The text on the terminal through a pager; without any pager, straight to `out`.
void ShowOnScreen(const std::string& path, std::FILE* out) {
  // An operator's own LESSCHARSET wins.
  ChildExit pager = RunFromPath({"less", "-R", path}, {"LESSCHARSET=utf-8"});
  if (pager.start_error != 0) pager = RunFromPath({"more", path});
  if (pager.start_error == 0) return;
  std::ifstream shown(path, std::ios::binary);
  std::string chunk(1 << 16, '\0');
  while (shown.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
         shown.gcount() > 0) {
    std::fwrite(chunk.data(), 1, static_cast<size_t>(shown.gcount()), out);
  }
}

// Hands the PDF at `path` to lp. Where lp is missing or refuses, the PDF stays, the operator is
// told where, and the answer is false; when the operator named the file it stays anyway.
bool SendToPrinter(const std::string& path, const std::string& queue, bool keep,
                   const std::string& summary, std::FILE* out, std::FILE* err) {
  std::vector<std::string> command = {"lp"};
  if (!queue.empty()) {
    command.push_back("-d");
    command.push_back(queue);
  }
  command.push_back("--");
  command.push_back(path);
  const ChildExit lp = RunFromPath(command);
  const bool printed = lp.start_error == 0 && lp.status == 0;
  if (lp.start_error != 0) {
    Say(err, summary + ": lp cannot be run (" + std::strerror(lp.start_error) +
                 "); install the CUPS client (package cups-client) to print. The PDF is kept in " +
                 path);
  } else if (!printed) {
    Say(err, summary + ": lp failed with status " + std::to_string(lp.status) +
                 "; the PDF is kept in " + path);
  } else {
    std::string where = queue.empty() ? "the default print queue" : queue;
    if (!keep) {
      unlink(path.c_str());  // lp has its own copy
      Say(err, summary + " sent to " + where);
      return true;
    }
    Say(err, summary + " sent to " + where + "; the PDF is also in " + path);
  }
  std::fprintf(out, "%s\n", path.c_str());
  return printed;
}

// The session directory without its final "/", where reports go unless named: "." when unset.
std::string OutputDirectory() {
  std::string directory = HostPath(Session().session_directory);
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  // assign(1, c) rather than = ".": GCC 12 at -O3 warns falsely about the latter.
  if (directory.empty()) directory.assign(1, '.');
  return directory;
}

// Where the rendition goes: the operator's name for it, or a new dated name that never replaces
// an earlier report.
struct Destination {
  std::string path;
  bool named_by_user = true;
};

Destination DestinationOf(const Options& options, const Device& device, bool is_pdf) {
  if (!options.output.empty()) return {options.output, true};
  if (!device.argument.empty() && device.kind != DeviceKind::kPrinter) {
    return {HostPath(device.argument), true};
  }
  return {OutputDirectory() + "/" + DefaultBaseName() + (is_pdf ? ".pdf" : ".txt"), false};
}

}  // namespace

int RunPrintProgram(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const auto started = std::chrono::system_clock::now();
  std::string problem;
  std::optional<Options> parsed = ParseArguments(args, &problem);
  if (!parsed) {
    Say(err, problem + " (qebprint --help tells the arguments)");
    return kPrintUsage;
  }
  const Options& options = *parsed;
  if (options.help) {
    std::fputs(kUsage, out);
    return kPrintDone;
  }

  StartConfiguration();
  // What a killed qebprint left half written; a live one holds its files locked.
  RemoveLeftoverFiles(OutputDirectory(), "informe-", started);
  const std::string spool_path = options.input.empty()
                                     ? HostPath(Session().session_directory + "qebprint.tmp")
                                     : options.input;
  SpoolFile spool;
  if (!spool.Open(spool_path, &problem)) {
    Say(err, problem);
    return options.input.empty() ? kPrintFailed : kPrintUsage;
  }
  SpoolReader reader(spool.stream());

  // The device comes from the first line; whatever else the first instruction is, it still
  // belongs to the report.
  SpoolInstruction first;
  bool have_first = reader.Next(&first);
  bool first_is_device = have_first && first.kind == SpoolLineKind::kDevice;
  const SpoolInstruction* first_or_none = have_first && !first_is_device ? &first : nullptr;
  if (options.split) {
    return PrintSplit(reader, first_or_none, spool, spool_path, *options.split, out, err);
  }
  std::string device_name = first_is_device ? std::string(first.text) : std::string();
  if (!first_is_device && !options.device) {
    Say(err, "the spool file has no device line; printing to PDF");
  }
  if (options.device) device_name = *options.device;
  Device device = ParseDevice(device_name);
  if (!device.recognised) {
    Say(err, "the spool file names the device '" + device_name +
                 "', which qebprint does not know (" + kDeviceNames + "); printing to PDF");
  }
  const bool is_pdf = device.kind == DeviceKind::kPdf || device.kind == DeviceKind::kPrinter;
  if (is_pdf) {
    if (std::string font = PdfPageSink::FontProblem(); !font.empty()) Say(err, font);
  }

  const Destination destination = DestinationOf(options, device, is_pdf);
  FreshFile output;
  if (!output.Create(destination.path, &problem)) {
    Say(err, problem + "; nothing was written");
    return kPrintFailed;
  }
  MarkCount marks;
  Rendition rendition = Render(reader, first_or_none, device.kind, output, &marks);
  int status = SpoolStatus(spool, reader, marks, spool_path, err);
  if (!rendition.ok) {
    Say(err, rendition.problem + "; nothing was written");
    return kPrintFailed;
  }
  if (rendition.pages == 0) {
    Say(err, "nothing to print in " + spool_path);
    return kPrintFailed;
  }
  if (!device.recognised) status = kPrintFailed;
  const std::string summary = Plural(rendition.pages, "page", "pages") + " from " + spool_path;

  if (device.kind == DeviceKind::kScreen) {
    Say(err, summary + " shown on the screen");
    ShowOnScreen(output.path(), out);
    return status;  // the temporary text goes with `output`
  }
  std::string placed = destination.path;
  const bool placed_ok = destination.named_by_user
                             ? output.Replace(destination.path, &problem)
                             : output.PlaceAsNew(destination.path, &placed, &problem);
  if (!placed_ok) {
    Say(err, problem + "; nothing was written");
    return kPrintFailed;
  }
  if (device.kind == DeviceKind::kPrinter) {
    if (!SendToPrinter(placed, device.argument, destination.named_by_user, summary, out, err)) {
      return kPrintFailed;
    }
    return status;
  }
  Say(err, summary + " written to " + placed);
  std::fprintf(out, "%s\n", placed.c_str());
  return status;
}

}  // namespace quarnell
