#include "tools/qebdata/data_tool.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "app/letterhead.h"
#include "app/record_layouts.h"
#include "config/ini.h"
#include "config/paths.h"
#include "records/engine/record_call.h"
#include "records/record_files.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "tools/qebdata/copy.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/synthetic_agency.h"
#include "tools/qebdata/transfer.h"

namespace quarnell {
namespace fs = std::filesystem;
namespace {

constexpr char kUsage[] =
    "usage: qebdata init ROOT [--server SERVER] [--agency-name NAME] [--line TEXT]... [--tax-id "
    "ID]\n"
    "       qebdata import [--replace | --allow-repeats] ROOT BASE FILE.csv\n"
    "       qebdata clear ROOT BASE\n"
    "       qebdata export ROOT BASE [FILE.csv]\n"
    "       qebdata demo ROOT\n"
    "       qebdata generate ROOT --owners N [--seed S]\n"
    "       qebdata copy FROM_ROOT TO_ROOT\n"
    "       qebdata dictionaries DIRECTORY\n"
    "       qebdata --help\n"
    "ROOT is an installation directory; BASE a record file (VPropiet, VCobros, ...);\n"
    "SERVER a PostgreSQL database (a connection URI, keyword=value pairs or a service name).\n"
    "init writes the agency's letterhead into ROOT/Tova.ini: --agency-name its first line,\n"
    "--line each line under it (address, town, telephone; up to five), --tax-id the tax\n"
    "identifier. Statements are refused until the letterhead is the agency's own.\n"
    "import adds the rows and refuses rows that are records already in the file; --replace\n"
    "replaces the file's records with the rows, --allow-repeats adds them all the same.\n"
    "tools/qebdata/README.md describes the columns of every file.\n";

int Usage(std::ostream& err, const std::string& problem) {
  err << "qebdata: " << problem << "\n" << kUsage;
  return kExitBadInput;
}

std::string KnownFiles() {
  std::string names;
  for (const FileLayout& file : kRentalFiles) {
    names += (names.empty() ? "" : ", ") + std::string(file.base_name);
  }
  return names;
}

const FileLayout* FileOrComplain(const std::string& base, std::ostream& err) {
  const FileLayout* file = FindRentalFile(base);
  if (file == nullptr)
    err << "qebdata: unknown record file \"" << base << "\" (" << KnownFiles() << ")\n";
  return file;
}

bool ReadInput(const std::string& path, std::string* text, std::ostream& err) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    err << "qebdata: cannot read " << path << "\n";
    return false;
  }
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    err << "qebdata: cannot read " << path << "\n";
    return false;
  }
  return true;
}

// A whole number from `low` to `high`, or false.
bool ParseCount(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  int64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high) return false;
  *value = number;
  return true;
}

// The record files of `root` live where its Tova.ini says; a setting that cannot be used is the
// user's to mend.
int SelectStorage(const std::string& root, std::ostream& err) {
  if (SelectRecordStorage(ApplyDirectoryRule(root)) == kRecordOk) return kExitOk;
  err << "qebdata: [Dades] Servidor of " << root << "/Tova.ini: " << TakeRecordServerMessage()
      << "\n";
  return kExitBadInput;
}

// Names `server` in the installation's Tova.ini, a new one made from the shipped template, before
// anything else is laid out, so that a second init after a failure finds it. An installation that
// already keeps its files elsewhere is left alone: qebdata copy moves records between the two.
int NameServer(const std::string& root, const std::string& server, const DataToolContext& context) {
  const fs::path settings = fs::path(HostPath(root + "/Tova.ini"));
  std::error_code ec;
  if (fs::exists(settings, ec)) {
    const std::string named = ReadIni(settings.string(), "Dades", "Servidor");
    if (named == server) return kExitOk;
    *context.err << "qebdata: " << settings.string()
                 << (named.empty() ? " keeps the record files in DADES/" : " names another server")
                 << "; lay out a new installation with --server and move the records with "
                    "qebdata copy\n";
    return kExitBadInput;
  }
  // The value is one line of Tova.ini, where ";" starts a comment.
  if (server.find_first_of(";\r\n") != std::string::npos) {
    *context.err << "qebdata: --server: a server address cannot hold \";\" or a line end\n";
    return kExitBadInput;
  }
  if (SetRecordServer(HostPath(root + "/DADES"), server) != kRecordOk) {
    *context.err << "qebdata: --server: " << TakeRecordServerMessage() << "\n";
    return kExitBadInput;
  }
  std::string text;
  if (!ReadInput(context.install_dir + "/Tova.ini", &text, *context.err)) return kExitFailure;
  text += "\n; The record files live as tables of this PostgreSQL database.\n[Dades]\nServidor=" +
          server + "\n";
  fs::create_directories(settings.parent_path(), ec);
  std::ofstream out(settings, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *context.err << "qebdata: cannot write " << settings.string() << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

int Init(const std::string& root, const InstallationSettings& settings,
         const DataToolContext& context, const std::string* server = nullptr) {
  if (server != nullptr) {
    if (int exit = NameServer(root, *server, context); exit != kExitOk) return exit;
  }
  if (int exit = SelectStorage(root, *context.err); exit != kExitOk) return exit;
  std::string error;
  if (!InitInstallation(root, context.install_dir, settings, &error)) {
    *context.err << "qebdata: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

// A letterhead text typed on the command line (UTF-8) as Tova.ini holds it, or false with
// *error naming the option.
bool LetterheadText(const std::string& option, const std::string& typed, std::string* text,
                    std::string* error) {
  size_t bad = 0;
  std::optional<std::string> converted = Utf8ToCp850(typed, &bad);
  if (!converted) {
    *error = option + ": \"" + typed + "\" holds a character code page 850 cannot hold (at byte " +
             std::to_string(bad + 1) + ")";
    return false;
  }
  for (const char c : *converted) {
    if (c == ';' || static_cast<unsigned char>(c) < 0x20) {
      *error = option + ": a letterhead line cannot hold \";\" or control characters";
      return false;
    }
  }
  *text = *converted;
  return true;
}

// The options of init (after ROOT): --server, kept as typed, and the letterhead as the keys of
// section Empresa: --agency-name sets Text1, the --line options Text2 to Text6 in their order (all
// five, so old lines do not stay under new ones), --tax-id Text7. Options not given leave their
// keys as they are.
bool ParseInitOptions(const std::vector<std::string>& args, InstallationSettings* settings,
                      std::optional<std::string>* server, std::string* error) {
  std::optional<std::string> name, tax_id;
  std::vector<std::string> lines;
  for (size_t i = 2; i < args.size(); i += 2) {
    const std::string& option = args[i];
    if (option != "--server" && option != "--agency-name" && option != "--line" &&
        option != "--tax-id") {
      *error = "unknown option " + option + " for init";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = option + " needs a value";
      return false;
    }
    if (option == "--server") {
      *server = args[i + 1];
      continue;
    }
    std::string text;
    if (!LetterheadText(option, args[i + 1], &text, error)) return false;
    if (option == "--agency-name") name = text;
    if (option == "--tax-id") tax_id = text;
    if (option == "--line") lines.push_back(text);
  }
  if (name && (IsAllChar(*name, ' ') || *name == kPlaceholderAgencyName)) {
    *error = "--agency-name: the agency's own name is needed";
    return false;
  }
  if (lines.size() > kLetterheadTexts - 2) {
    *error = "--line: at most " + std::to_string(kLetterheadTexts - 2) + " lines under the name";
    return false;
  }
  if (name) settings->letterhead.push_back({"Text1", *name});
  if (!lines.empty()) {
    lines.resize(kLetterheadTexts - 2);
    for (size_t i = 0; i < lines.size(); ++i) {
      settings->letterhead.push_back({"Text" + std::to_string(i + 2), lines[i]});
    }
  }
  if (tax_id) settings->letterhead.push_back({"Text" + std::to_string(kLetterheadTexts), *tax_id});
  return true;
}

// Init, then the demo agency's letterhead and working date, for the demo and the synthetic
// agency alike.
int InitWithDemoSettings(const std::string& root, const DataToolContext& context) {
  InstallationSettings settings;
  std::string error;
  if (!DemoSettings(context.install_dir, &settings, &error)) {
    *context.err << "qebdata: " << error << "\n";
    return kExitFailure;
  }
  return Init(root, settings, context);
}

// The demo and the synthetic agency fill a fresh installation; mixing either into existing
// records would leave an agency nobody can tell apart.
int RequireEmptyFiles(const std::string& root, std::ostream& err) {
  for (const FileLayout& file : kRentalFiles) {
    uint32_t count = 0;
    if (!CountRecords(root, file, &count)) {
      err << "qebdata: cannot read " << RecordFilePath(root, file) << "\n";
      return kExitFailure;
    }
    if (count > 0) {
      err << "qebdata: " << root << " already holds records (" << count << " in " << file.base_name
          << "); use an empty installation\n";
      return kExitBadInput;
    }
  }
  return kExitOk;
}

int Demo(const std::string& root, const DataToolContext& context) {
  if (int exit = InitWithDemoSettings(root, context); exit != kExitOk) return exit;
  if (int exit = RequireEmptyFiles(root, *context.err); exit != kExitOk) return exit;
  for (const FileLayout& file : kRentalFiles) {
    const fs::path csv =
        fs::path(context.install_dir) / "demo" / (std::string(file.base_name) + ".csv");
    std::error_code ec;
    if (!fs::exists(csv, ec)) continue;
    const int exit = ImportCsvFile(root, file, csv.string(), ImportMode::kAdd, *context.err);
    if (exit != kExitOk) return exit;
  }
  return kExitOk;
}

int Export(const std::string& root, const FileLayout& file, const std::string* path,
           const DataToolContext& context) {
  if (path == nullptr) return ExportCsv(root, file, *context.out, *context.err);
  // Written aside and renamed, so a failed export leaves no half file under the name asked for.
  const std::string partial = *path + ".partial";
  int exit = kExitOk;
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) {
      *context.err << "qebdata: cannot write " << *path << "\n";
      return kExitBadInput;
    }
    exit = ExportCsv(root, file, out, *context.err);
    out.close();
    if (exit == kExitOk && !out) {
      *context.err << "qebdata: cannot write " << *path << "\n";
      exit = kExitFailure;
    }
  }
  std::error_code ec;
  if (exit == kExitOk) {
    fs::rename(partial, *path, ec);
    if (ec) {
      *context.err << "qebdata: cannot write " << *path << ": " << ec.message() << "\n";
      exit = kExitFailure;
    }
  }
  if (exit != kExitOk) fs::remove(partial, ec);
  return exit;
}

// import [--replace | --allow-repeats] ROOT BASE FILE.csv, the option anywhere after import.
int Import(const std::vector<std::string>& args, const DataToolContext& context) {
  ImportMode mode = ImportMode::kAdd;
  std::vector<std::string> operands;
  for (size_t i = 1; i < args.size(); ++i) {
    const ImportMode chosen = args[i] == "--replace"         ? ImportMode::kReplace
                              : args[i] == "--allow-repeats" ? ImportMode::kAllowRepeats
                                                             : ImportMode::kAdd;
    if (chosen == ImportMode::kAdd && args[i].starts_with("--")) {
      return Usage(*context.err, "unknown option " + args[i]);
    }
    if (chosen == ImportMode::kAdd) {
      operands.push_back(args[i]);
    } else if (mode != ImportMode::kAdd && mode != chosen) {
      return Usage(*context.err, "--replace and --allow-repeats exclude each other");
    } else {
      mode = chosen;
    }
  }
  if (operands.size() != 3) return Usage(*context.err, "wrong number of arguments for import");
  const FileLayout* file = FileOrComplain(operands[1], *context.err);
  if (file == nullptr) return kExitBadInput;
  if (int exit = SelectStorage(operands[0], *context.err); exit != kExitOk) return exit;
  return ImportCsvFile(operands[0], *file, operands[2], mode, *context.err);
}

int Generate(const std::vector<std::string>& args, const DataToolContext& context) {
  const std::string& root = args[1];
  int64_t owners = 0;
  int64_t seed = 1;
  bool have_owners = false;
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return Usage(*context.err, args[i] + " needs a value");
    if (args[i] == "--owners") {
      if (!ParseCount(args[i + 1], 1, kMaxSyntheticOwners, &owners)) {
        return Usage(*context.err, "--owners takes a number from 1 to " +
                                       std::to_string(kMaxSyntheticOwners) +
                                       " (owner codes have four digits)");
      }
      have_owners = true;
    } else if (args[i] == "--seed") {
      if (!ParseCount(args[i + 1], 0, INT64_MAX, &seed)) {
        return Usage(*context.err, "--seed takes a whole number");
      }
    } else {
      return Usage(*context.err, "unknown option " + args[i]);
    }
  }
  if (!have_owners) return Usage(*context.err, "generate needs --owners N");
  if (int exit = InitWithDemoSettings(root, context); exit != kExitOk) return exit;
  if (int exit = RequireEmptyFiles(root, *context.err); exit != kExitOk) return exit;
  return GenerateAgency(root, static_cast<int32_t>(owners), static_cast<uint64_t>(seed),
                        *context.err);
}

}  // namespace

int RunDataTool(const std::vector<std::string>& args, const DataToolContext& context) {
  std::ostream& err = *context.err;
  if (args.empty()) return Usage(err, "no command");
  const std::string& command = args[0];
  const size_t count = args.size();
  if (command == "--help" || command == "-h" || command == "help") {
    *context.out << kUsage;
    return kExitOk;
  }
  if (command == "init" && count >= 2) {
    InstallationSettings settings;
    std::optional<std::string> server;
    std::string error;
    if (!ParseInitOptions(args, &settings, &server, &error)) return Usage(err, error);
    return Init(args[1], settings, context, server ? &*server : nullptr);
  }
  if (command == "copy" && count == 3) {
    for (const std::string& root : {args[1], args[2]}) {
      if (int exit = SelectStorage(root, err); exit != kExitOk) return exit;
    }
    return CopyInstallation(args[1], args[2], err);
  }
  if (command == "demo" && count == 2) return Demo(args[1], context);
  if (command == "generate" && count >= 2) return Generate(args, context);
  if (command == "import") return Import(args, context);
  if (command == "clear" && count == 3) {
    const FileLayout* file = FileOrComplain(args[2], err);
    if (file == nullptr) return kExitBadInput;
    if (int exit = SelectStorage(args[1], err); exit != kExitOk) return exit;
    return ClearRecords(args[1], *file, err);
  }
  if (command == "export" && (count == 3 || count == 4)) {
    const FileLayout* file = FileOrComplain(args[2], err);
    if (file == nullptr) return kExitBadInput;
    if (int exit = SelectStorage(args[1], err); exit != kExitOk) return exit;
    return Export(args[1], *file, count == 4 ? &args[3] : nullptr, context);
  }
  if (command == "dictionaries" && count == 2) {
    std::string error;
    if (!WriteDictionaries(args[1], &error)) {
      err << "qebdata: " << error << "\n";
      return kExitFailure;
    }
    return kExitOk;
  }
  for (const char* known :
       {"init", "clear", "export", "demo", "generate", "copy", "dictionaries"}) {
    if (command == known) return Usage(err, "wrong number of arguments for " + command);
  }
  return Usage(err, "unknown command \"" + command + "\"");
}

}  // namespace quarnell
