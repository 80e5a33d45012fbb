#include "config/ini.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "config/alerts.h"
#include "config/paths.h"
#include "config/small_files.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

// Blanks are spaces and tabs: hand-edited files indent with either.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Section names and keys are plain ASCII words; bytes above 127 are left alone.
std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string CodePoint(char32_t character) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
  return text;
}

// The text of a settings file in code page 850: as it is, or converted from UTF-8.
std::string SettingsText(std::string_view bytes, const std::string& host_path) {
  if (!ReadsAsUtf8(bytes)) return std::string(bytes);
  // Some editors open a UTF-8 file with a byte order mark; it is no character of the settings.
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  std::vector<MissingCharacter> missing;
  std::string text = Utf8ToCp850Replacing(bytes, '?', &missing).value_or(std::string());
  for (const MissingCharacter& m : missing) {
    const auto line = 1 + std::count(bytes.begin(), bytes.begin() + m.offset, '\n');
    WarnOperator(host_path + " line " + std::to_string(line) + ": the character " +
                 CodePoint(m.character) +
                 " has no place in code page 850, the code page of the program's texts; it is "
                 "read as \"?\"");
  }
  return text;
}

// The settings file's text, empty when there is none to read; every problem but a missing file
// is told to the operator, since the run then goes on without the settings it holds.
std::string LoadSettingsFile(const std::string& host_path) {
  const SmallFile file = ReadSmallFile(host_path, kMaxSettingsFileBytes + 1);
  if (file.state == FileState::kMissing) return {};
  if (file.state != FileState::kRead) {
    WarnOperator("cannot read " + host_path + ": " + FileProblem(file) +
                 "; its settings are not used");
    return {};
  }
  if (file.bytes.size() > kMaxSettingsFileBytes) {
    WarnOperator(host_path + " is larger than any settings file (over 1 MiB); its settings are " +
                 "not used");
    return {};
  }
  return SettingsText(file.bytes, host_path);
}

}  // namespace

std::string IniName(std::string_view name) { return Upper(TrimRight(TrimLeft(name))); }

IniLine ParseIniLine(std::string_view line) {
  IniLine parsed;
  const size_t comment = line.find(';');
  if (comment != std::string_view::npos) line = line.substr(0, comment);
  line = TrimLeft(line);
  if (line.empty()) return parsed;
  if (line.front() == '[') {
    line.remove_prefix(1);
    const size_t close = line.find(']');
    if (close != std::string_view::npos) line = line.substr(0, close);
    parsed.kind = IniLine::kSection;
    parsed.name = IniName(line);
    return parsed;
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.kind = IniLine::kEntry;
  parsed.name = Upper(TrimRight(line.substr(0, equals)));
  parsed.value = line.substr(equals + 1);
  return parsed;
}

bool ReadsAsUtf8(std::string_view bytes) {
  const bool beyond_ascii = std::any_of(bytes.begin(), bytes.end(),
                                        [](char c) { return static_cast<unsigned char>(c) > 127; });
  return beyond_ascii && Utf8ToCp850Replacing(bytes, '?', nullptr).has_value();
}

std::string ReadIni(std::string_view path, std::string_view section, std::string_view key) {
  const std::string text = LoadSettingsFile(HostPath(path));
  const std::string wanted_section = IniName(section);
  const std::string wanted_key = IniName(key);

  bool in_section = false;
  std::string value;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // Files edited on other systems end their lines with CR LF; the CR belongs to the line end,
    // not to the value.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const IniLine parsed = ParseIniLine(line);
    if (!in_section) {
      in_section = parsed.kind == IniLine::kSection && parsed.name == wanted_section;
      continue;
    }
    if (parsed.kind == IniLine::kSection) break;  // only the first section of that name counts
    if (parsed.kind == IniLine::kEntry && parsed.name == wanted_key) {
      value.assign(parsed.value);
      break;
    }
  }

  if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace quarnell
