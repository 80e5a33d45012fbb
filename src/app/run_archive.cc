#include "app/run_archive.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/csv.h"
#include "app/run_driver.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"
#include "print/fresh_file.h"
#include "print/print_output.h"
#include "print/sha256.h"

namespace quarnell {
namespace {

namespace fs = std::filesystem;

constexpr char kSpoolCopy[] = "qebprint.tmp";
constexpr char kFiguresCopy[] = "figures.csv";
constexpr char kIndexName[] = "index.csv";
// An index larger than this is no index of ours (a row is under 300 bytes, owners at most 9999).
constexpr size_t kIndexLimit = 16 << 20;

// Index columns (tools/qebprint/owner_split.h).
constexpr size_t kIndexOwner = 0;
constexpr size_t kIndexFile = 5;
constexpr size_t kIndexSha = 6;
constexpr size_t kIndexNote = 7;

std::string RootDirectory() {
  std::string root = HostPath(Session().root_directory);
  if (root.empty()) root = "./";
  if (root.back() != '/') root += '/';
  return root;
}

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<YYYYMMDD-HHMMSS>-<from>-<to>-<layout>"
std::string ArchiveName(const RunMark& run) {
  return run.started + "-" + run.owner_from + "-" + run.owner_to + "-" + std::string(1, run.layout);
}

bool IsStarted(const std::string& started) {
  return started.size() == 15 && started[8] == '-' && IsDigits(started.substr(0, 8)) &&
         IsDigits(started.substr(9));
}

bool Fail(std::string* problem, const std::string& what) {
  *problem = what;
  return false;
}

bool CopyInto(const std::string& from, const std::string& to, std::string* problem) {
  std::error_code error;
  if (!fs::copy_file(from, to, fs::copy_options::none, error)) {
    return Fail(problem, "cannot copy " + from + " to " + to + ": " + error.message());
  }
  return true;
}

// The rows of an index.csv after its header; false with the reason when it does not read.
bool ReadIndex(const std::string& path, std::vector<std::vector<std::string>>* rows,
               std::string* problem) {
  const SmallFile file = ReadSmallFile(path, kIndexLimit);
  if (file.state != FileState::kRead) return Fail(problem, path + ": " + FileProblem(file));
  CsvReader reader(file.bytes);
  std::vector<std::string> fields;
  bool header = true;
  while (reader.ReadRow(&fields)) {
    if (fields.size() <= kIndexNote) return Fail(problem, path + ": a row without its columns");
    if (!header) rows->push_back(fields);
    header = false;
  }
  if (reader.error()) return Fail(problem, path + ": " + reader.error()->message);
  return true;
}

// Copies the split in `directory` (its index and the files it names) into the archive, each
// document checked against the digest the index gives it.
bool CopySplit(const std::string& directory, const StagingDirectory& staging,
               std::string* problem) {
  const std::string index = directory + "/" + kIndexName;
  std::vector<std::vector<std::string>> rows;
  if (!ReadIndex(index, &rows, problem) || !CopyInto(index, staging.File(kIndexName), problem)) {
    return false;
  }
  for (const auto& row : rows) {
    const std::string& name = row[kIndexFile];
    if (name.empty()) continue;
    if (name.find('/') != std::string::npos || name.starts_with(".")) {
      return Fail(problem, index + " names a file outside its directory: " + name);
    }
    std::string digest;
    if (!CopyInto(directory + "/" + name, staging.File(name), problem) ||
        !Sha256OfFile(staging.File(name), &digest, problem)) {
      return false;
    }
    if (digest != row[kIndexSha]) {
      return Fail(problem, directory + "/" + name +
                               " is not the file its index describes (SHA-256 " + digest +
                               ", the index says " + row[kIndexSha] + ")");
    }
  }
  return true;
}

// The split of the archived spool file, made by the print program into the archive itself.
bool MakeSplit(const StagingDirectory& staging, std::string* problem) {
  // Quiet: the index the print program names on its output is the archive's, not yet in place.
  const int status =
      RunPrintProgram({"--input", staging.File(kSpoolCopy), "--split", staging.path()}, true);
  if (status != 0) {
    return Fail(problem, "the print program ended with status " + std::to_string(status) +
                             " splitting the run for the archive");
  }
  return true;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word.find_first_of(" \t'\"") == std::string::npos ? word : "'" + word + "'";
  }
  return text;
}

// "2026-01-15 09:30:12" from "20260115-093012".
std::string ShownStart(const std::string& started) {
  std::string iso = IsoStarted(RunMark{started, "", 'N', "", ""});
  if (!iso.empty()) iso[10] = ' ';
  return iso;
}

// run.txt: what the run was, and the digest of every other file of the archive.
bool WriteRunRecord(const ArchiveRequest& request, const StagingDirectory& staging,
                    std::string* problem) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(staging.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  const RunMark& run = request.run;
  std::string text = "# quarnell statement run\n";
  text += "program: quarnell " + std::string(ProgramVersion()) + "\n";
  text += "started: " + ShownStart(run.started) + "\n";
  text += "arguments: " + Joined(request.arguments) + "\n";
  text += "statement date: " + run.statement_date.substr(0, 4) + "-" +
          run.statement_date.substr(4, 2) + "-" + run.statement_date.substr(6, 2) + "\n";
  text += "owners: " + run.owner_from + " to " + run.owner_to + "\n";
  text += "layout: " + std::string(1, run.layout) + "\n";
  text += "# SHA-256 of every other file of the run (sha256sum -c " + std::string(kRunRecordName) +
          ")\n";
  for (const std::string& name : names) {
    std::string digest;
    if (!Sha256OfFile(staging.File(name), &digest, problem)) return false;
    text += digest + "  " + name + "\n";
  }
  FreshFile record;
  if (!record.Create(staging.File(kRunRecordName), problem)) return false;
  std::fwrite(text.data(), 1, text.size(), record.file());
  return record.Replace(staging.File(kRunRecordName), problem);
}

// Read-only files in a read-only directory: an archived run is not to be changed.
void Freeze(const StagingDirectory& staging) {
  for (const fs::directory_entry& entry : fs::directory_iterator(staging.path())) {
    chmod(entry.path().c_str(), 0444);
  }
  chmod(staging.path().c_str(), 0555);
}

// An archived run as its directory's name tells it.
struct ArchivedRun {
  std::string path;
  RunMark run;
  int number = 1;  // 2, 3 ... for later runs of the same second
};

// Reads "<YYYYMMDD-HHMMSS>-<from>-<to>-<layout>[-N]".
std::optional<ArchivedRun> ReadArchiveName(const fs::path& path, const std::string& year) {
  const std::string name = path.filename().string();
  if (name.size() < 27 || name[15] != '-' || name[20] != '-' || name[25] != '-')
    return std::nullopt;
  ArchivedRun found;
  found.path = path.string();
  found.run.started = name.substr(0, 15);
  found.run.owner_from = name.substr(16, 4);
  found.run.owner_to = name.substr(21, 4);
  found.run.layout = name[26];
  found.run.statement_date = year;
  const std::string rest = name.substr(27);
  if (!rest.empty()) {
    if (rest.size() < 2 || rest[0] != '-' || !IsDigits(rest.substr(1)) || rest.size() > 5) {
      return std::nullopt;
    }
    found.number = std::stoi(rest.substr(1));
  }
  if (IsStarted(found.run.started) && IsDigits(found.run.owner_from) &&
      IsDigits(found.run.owner_to)) {
    return found;
  }
  return std::nullopt;
}

// Every complete archived run (with its run.txt), newest first.
std::vector<ArchivedRun> ArchivedRuns(const std::string& archive) {
  std::vector<ArchivedRun> runs;
  std::error_code error;
  for (const fs::directory_entry& year : fs::directory_iterator(archive, error)) {
    const std::string year_name = year.path().filename().string();
    if (year_name.size() != 4 || !IsDigits(year_name) || !year.is_directory(error)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(year.path(), error)) {
      if (!fs::is_regular_file(entry.path() / kRunRecordName, error)) continue;
      if (std::optional<ArchivedRun> run = ReadArchiveName(entry.path(), year_name)) {
        runs.push_back(*run);
      }
    }
  }
  std::sort(runs.begin(), runs.end(), [](const ArchivedRun& a, const ArchivedRun& b) {
    return std::tie(a.run.started, a.number, a.path) > std::tie(b.run.started, b.number, b.path);
  });
  return runs;
}

}  // namespace

const char* ProgramVersion() { return QEB_VERSION; }

bool ArchiveRun(const ArchiveRequest& request, std::string* archived, std::string* problem) {
  const auto started = std::chrono::system_clock::now();
  const std::string parent =
      RootDirectory() + kArchiveDirectory + "/" + request.run.statement_date.substr(0, 4);
  const std::string name = ArchiveName(request.run);
  StagingDirectory staging;
  if (!staging.Create(parent, name, problem)) return false;
  // What a killed run left half archived in this year's directory.
  RemoveLeftoverDirectories(parent, "", started);
  if (!CopyInto(request.spool_path, staging.File(kSpoolCopy), problem)) return false;
  const bool split = request.split_directory.empty()
                         ? MakeSplit(staging, problem)
                         : CopySplit(request.split_directory, staging, problem);
  if (!split) return false;
  if (!request.figures_path.empty() &&
      !CopyInto(request.figures_path, staging.File(kFiguresCopy), problem)) {
    return false;
  }
  if (!WriteRunRecord(request, staging, problem)) return false;
  Freeze(staging);
  return staging.PlaceAsNew(parent + "/" + name, archived, problem);
}

int ListArchive(const std::optional<std::string>& owner, std::ostream& out, std::ostream& err) {
  const std::string archive = RootDirectory() + kArchiveDirectory;
  const std::vector<ArchivedRun> runs = ArchivedRuns(archive);
  if (runs.empty()) {
    err << "quarnell: no archived runs in " << archive << std::endl;
    return 0;
  }
  for (const ArchivedRun& archived : runs) {
    std::vector<std::vector<std::string>> rows;
    std::string problem;
    if (!ReadIndex(archived.path + "/" + kIndexName, &rows, &problem)) {
      err << "quarnell: " << problem << std::endl;
      continue;
    }
    const std::string start = ShownStart(archived.run.started);
    if (!owner) {
      const auto documents = std::count_if(
          rows.begin(), rows.end(), [](const auto& row) { return !row[kIndexFile].empty(); });
      out << start << "  " << archived.run.statement_date << "  owners " << archived.run.owner_from
          << "-" << archived.run.owner_to << "  layout " << archived.run.layout << "  " << documents
          << (documents == 1 ? " document  " : " documents  ") << archived.path << "\n";
      continue;
    }
    for (const auto& row : rows) {
      if (row[kIndexOwner] != *owner) continue;
      if (row[kIndexFile].empty()) {
        out << start << "  " << archived.path << "  " << row[kIndexNote] << "\n";
      } else {
        out << start << "  " << archived.path << "/" << row[kIndexFile] << "  " << row[kIndexSha]
            << "\n";
      }
    }
  }
  out.flush();
  return 0;
}

}  // namespace quarnell
