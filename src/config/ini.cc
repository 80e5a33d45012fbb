#include "config/ini.h"

#include <fstream>

#include "config/paths.h"

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

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

// Section names and keys are plain ASCII words; bytes above 127 are left alone.
std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string SectionName(std::string_view line) {
  line.remove_prefix(1);  // the "["
  size_t close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return Upper(Trim(line));
}

}  // namespace

std::string ReadIni(std::string_view path, std::string_view section, std::string_view key) {
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) return {};
  const std::string wanted_section = Upper(Trim(section));
  const std::string wanted_key = Upper(Trim(key));

  bool in_section = false;
  std::string line;
  std::string value;
  while (std::getline(in, line)) {
    // Files edited on other systems end their lines with CR LF; the CR belongs to the line end,
    // not to the value.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view text(line);
    size_t comment = text.find(';');
    if (comment != std::string_view::npos) text = text.substr(0, comment);
    text = TrimLeft(text);
    if (text.empty()) continue;

    bool is_section = text.front() == '[';
    if (!in_section) {
      if (is_section && SectionName(text) == wanted_section) in_section = true;
      continue;
    }
    if (is_section) break;  // only the first section of that name counts
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    if (Upper(TrimRight(text.substr(0, equals))) == wanted_key) {
      value.assign(text.substr(equals + 1));
      break;
    }
  }

  if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace quarnell
