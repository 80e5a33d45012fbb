#include "tools/qebdata/installation.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "app/letterhead.h"
#include "config/ini.h"
#include "config/paths.h"
#include "records/engine/record_call.h"
#include "text/clock.h"
#include "text/cp850.h"
#include "tools/qebdata/record_store.h"
#include "tools/qebdata/transfer.h"

namespace quarnell {
namespace fs = std::filesystem;
namespace {

// What of install/ is not part of an installation: the demo agency is imported, not copied, and
// the README files describe the repository's folders.
bool ShippedFile(const fs::path& relative) {
  const std::string first = relative.begin()->string();
  const std::string name = relative.filename().string();
  return first != "demo" && name != "README.md" && name != ".keep";
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWholeFile(const fs::path& path, std::string_view bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Writes `bytes` to `path` unless the file exists.
bool WriteNewFile(const fs::path& path, std::string_view bytes, std::string* error) {
  std::error_code ec;
  if (fs::exists(path, ec)) return true;
  return WriteWholeFile(path, bytes, error);
}

bool CopyShippedData(const fs::path& root, const fs::path& install_dir, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(install_dir, ec)) {
    *error = "the installation data " + install_dir.string() + " is missing";
    return false;
  }
  for (fs::recursive_directory_iterator it(install_dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(install_dir);
    if (!ShippedFile(relative)) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const fs::path target = fs::path(HostPath((root / relative).string()));
    if (it->is_directory()) {
      fs::create_directories(target, ec);
    } else if (relative == "Tova.ini" && fs::exists(target)) {
      continue;  // the agency's own settings and letterhead
    } else {
      fs::create_directories(target.parent_path(), ec);
      if (!ec) fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, ec);
    }
    if (ec) {
      *error =
          "cannot copy " + it->path().string() + " to " + target.string() + ": " + ec.message();
      return false;
    }
  }
  if (ec) {
    *error = "cannot read " + install_dir.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool CreateRecordFiles(const std::string& root, std::string* error) {
  std::error_code ec;
  fs::create_directories(HostPath(root + "/DADES"), ec);
  if (ec) {
    *error = "cannot create " + root + "/DADES: " + ec.message();
    return false;
  }
  for (const FileLayout& file : kRentalFiles) {
    const std::string path = RecordFilePath(root, file);
    // Asked of the record manager, which knows whether the file lives on a server.
    RecordStore existing;
    const int16_t found = existing.Open(path, kOpenReadOnly);
    if (found == kRecordOk) continue;
    if (found != kRecordFileNotFound) {
      *error = "cannot open the record file " + path + ": " + StatusText(found);
      return false;
    }
    std::string dictionary;
    const std::string dictionary_path = DictionaryPath(root, file);
    if (!ReadWholeFile(dictionary_path, &dictionary) || dictionary.size() < 2) {
      *error = "cannot read the dictionary " + dictionary_path;
      return false;
    }
    const size_t length = static_cast<unsigned char>(dictionary[0]) |
                          static_cast<size_t>(static_cast<unsigned char>(dictionary[1])) << 8;
    if (dictionary.size() < 2 + length) {
      *error = "the dictionary " + dictionary_path + " is shorter than its length word says";
      return false;
    }
    const int16_t status = CreateRecordFile(path, std::string_view(dictionary).substr(2, length));
    if (status != kRecordOk) {
      *error = "cannot create the record file " + path + ": " + StatusText(status);
      return false;
    }
  }
  return true;
}

bool WriteSessionFiles(const std::string& root, std::string* error) {
  const fs::path session = HostPath(root + "/tmp");
  std::error_code ec;
  fs::create_directories(session, ec);
  if (ec) {
    *error = "cannot create " + session.string() + ": " + ec.message();
    return false;
  }
  // The menu entry that starts the statement program, and the help topic F1 opens.
  const std::string session_file =
      "[Menu]\nTitol=" + "COMPTE D'EXPLOTACIÓ DE FINQUES"_cp850 + "\nNomMenu=QUARNELL\n";
  const std::string terminal_file =
      "[Pantalla]\nSeleccio=0\nCol0=15000700000700070007\n"
      "[Sistema]\nData=" +
      std::to_string(CurrentClock().Today()) + "\nSortida=PDF\nIdioma=CAT\n";
  return WriteNewFile(session / "Sessio.ini", session_file, error) &&
         WriteNewFile(session / "TovaTerm.ini", terminal_file, error);
}

bool ApplySettings(const std::string& root, const InstallationSettings& settings,
                   std::string* error) {
  if (!settings.letterhead.empty() &&
      !SetSettings(HostPath(root + "/Tova.ini"), "Empresa", settings.letterhead, error)) {
    return false;
  }
  return settings.working_date.empty() ||
         SetSettings(HostPath(root + "/tmp/TovaTerm.ini"), "Sistema",
                     {{"Data", settings.working_date}}, error);
}

}  // namespace

std::string RecordFilePath(const std::string& root, const FileLayout& file) {
  return HostPath(root + "/DADES/" + std::string(file.base_name) + ".dat");
}

std::string DictionaryPath(const std::string& root, const FileLayout& file) {
  return HostPath(root + "/ddf/" + std::string(file.base_name) + ".xdf");
}

bool InitInstallation(const std::string& root, const std::string& install_dir,
                      const InstallationSettings& settings, std::string* error) {
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec) {
    *error = "cannot create " + root + ": " + ec.message();
    return false;
  }
  return CopyShippedData(root, install_dir, error) && CreateRecordFiles(root, error) &&
         WriteSessionFiles(root, error) && ApplySettings(root, settings, error);
}

bool DemoSettings(const std::string& install_dir, InstallationSettings* settings,
                  std::string* error) {
  const std::string file = install_dir + "/demo/agency.ini";
  settings->letterhead.clear();
  for (int i = 1; i <= kLetterheadTexts; ++i) {
    const std::string key = "Text" + std::to_string(i);
    settings->letterhead.push_back({key, ReadIni(file, "Empresa", key)});
  }
  settings->working_date = ReadIni(file, "Sistema", "Data");
  if (settings->letterhead[0].value.empty() || settings->working_date.empty()) {
    *error = "the demo agency's settings " + file + " are missing or incomplete";
    return false;
  }
  return true;
}

bool WriteDictionaries(const std::string& directory, std::string* error) {
  std::error_code ec;
  fs::create_directories(directory, ec);
  for (const FileLayout& file : kRentalFiles) {
    if (!WriteWholeFile(fs::path(directory) / (std::string(file.base_name) + ".xdf"),
                        DictionaryBytes(file), error)) {
      return false;
    }
  }
  return true;
}

}  // namespace quarnell
