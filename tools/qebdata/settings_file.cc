#include "tools/qebdata/settings_file.h"

#include <cstring>

#include "config/ini.h"
#include "config/small_files.h"
#include "text/cp850.h"

namespace quarnell {
namespace {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  return lines;
}

// The entry line of `setting`. The reader drops one pair of enclosing quotes, so a value that
// has them of its own gets another pair.
std::string EntryLine(const Setting& setting, bool utf8) {
  std::string value = utf8 ? Cp850ToUtf8(setting.value) : setting.value;
  if (value.size() > 1 && value.front() == '"' && value.back() == '"') value = '"' + value + '"';
  return setting.key + "=" + value;
}

// Rewrites or adds the entries of `settings` in `lines`.
void SetInLines(std::vector<std::string>& lines, std::string_view section,
                const std::vector<Setting>& settings, bool utf8) {
  const std::string wanted = IniName(section);
  size_t start = 0;
  while (start < lines.size()) {
    const IniLine parsed = ParseIniLine(lines[start]);
    if (parsed.kind == IniLine::kSection && parsed.name == wanted) break;
    ++start;
  }
  if (start == lines.size()) {
    if (!lines.empty() && !lines.back().empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    start = lines.size() - 1;
  }
  std::vector<bool> done(settings.size(), false);
  size_t last_entry = start;
  size_t end = start + 1;
  for (; end < lines.size(); ++end) {
    const IniLine parsed = ParseIniLine(lines[end]);
    if (parsed.kind == IniLine::kSection) break;
    if (parsed.kind != IniLine::kEntry) continue;
    last_entry = end;
    for (size_t i = 0; i < settings.size(); ++i) {
      if (!done[i] && parsed.name == IniName(settings[i].key)) {
        lines[end] = EntryLine(settings[i], utf8);
        done[i] = true;
        break;
      }
    }
  }
  std::vector<std::string> added;
  for (size_t i = 0; i < settings.size(); ++i) {
    if (!done[i]) added.push_back(EntryLine(settings[i], utf8));
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_entry + 1), added.begin(),
               added.end());
}

}  // namespace

bool SetSettings(const std::string& host_path, std::string_view section,
                 const std::vector<Setting>& settings, std::string* error) {
  const SmallFile file = ReadSmallFile(host_path, kMaxSettingsFileBytes + 1);
  if (file.state == FileState::kNotRegular || file.state == FileState::kUnreadable) {
    *error = "cannot read " + host_path + ": " + FileProblem(file);
    return false;
  }
  if (file.bytes.size() > kMaxSettingsFileBytes) {
    *error = host_path + " is larger than any settings file (over 1 MiB)";
    return false;
  }
  std::string_view bytes = file.bytes;
  const bool utf8 = ReadsAsUtf8(bytes);
  // A byte order mark stays where it is, out of the way of the first line.
  std::string text;
  if (utf8 && bytes.starts_with(kUtf8ByteOrderMark)) {
    bytes.remove_prefix(kUtf8ByteOrderMark.size());
    text = kUtf8ByteOrderMark;
  }
  const std::string line_end = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<std::string> lines = SplitLines(bytes);
  SetInLines(lines, section, settings, utf8);
  for (const std::string& line : lines) text += line + line_end;
  if (const int failure = ReplaceFile(host_path, text); failure != 0) {
    *error = "cannot write " + host_path + ": " + std::strerror(failure);
    return false;
  }
  return true;
}

}  // namespace quarnell
