#include "config/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>

namespace quarnell {
namespace {

bool Exists(const std::string& host_path) {
  struct stat info;
  return lstat(host_path.c_str(), &info) == 0;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

// The one entry of `directory` whose name equals `name` without regard to (ASCII) case; empty when
// there is none or more than one, because guessing between "Dades" and "DADES" could open the
// wrong installation's files.
std::string UniqueCaseInsensitiveEntry(const std::string& directory, std::string_view name) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()), &closedir);
  if (listing == nullptr) return {};
  std::string found;
  int matches = 0;
  while (const dirent* entry = readdir(listing.get())) {
    std::string_view entry_name(entry->d_name);
    if (SameIgnoringCase(entry_name, name)) {
      found.assign(entry_name);
      if (++matches > 1) return {};
    }
  }
  return found;
}

}  // namespace

std::string HostPath(std::string_view path) {
  std::string host(path);
  std::replace(host.begin(), host.end(), '\\', '/');
  if (host.empty() || Exists(host)) return host;

  // Walk the components; the result keeps the separators exactly as written (a trailing "/"
  // stays), only the names between them may change case.
  std::string result;
  result.reserve(host.size());
  bool matching = true;  // once a component is missing, nothing below it can exist
  size_t start = 0;
  while (start <= host.size()) {
    size_t slash = host.find('/', start);
    size_t end = slash == std::string::npos ? host.size() : slash;
    std::string_view component(host.data() + start, end - start);
    if (component.empty() || component == "." || component == "..") {
      result.append(component);
    } else if (!matching) {
      result.append(component);
    } else {
      std::string candidate = result;
      candidate.append(component);
      if (Exists(candidate)) {
        result = std::move(candidate);
      } else {
        std::string directory = result.empty() ? std::string(".") : result;
        std::string entry = UniqueCaseInsensitiveEntry(directory, component);
        if (entry.empty()) {
          matching = false;
          result.append(component);
        } else {
          result.append(entry);
        }
      }
    }
    if (slash == std::string::npos) break;
    result.push_back('/');
    start = slash + 1;
  }
  return result;
}

std::string ApplyDirectoryRule(std::string_view directory) {
  std::string value(directory);
  if (!value.empty()) {
    char last = value.back();
    if (last != ':' && last != '\\' && last != '/') value.push_back('\\');
  }
  return value;
}

std::string HostDirectoryOf(std::string_view host_path) {
  const size_t slash = host_path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? "/" : std::string(host_path.substr(0, slash));
}

std::string HostFileName(std::string_view host_path) {
  const size_t slash = host_path.rfind('/');
  return std::string(slash == std::string_view::npos ? host_path : host_path.substr(slash + 1));
}

std::string PathForCommand(std::string_view path) {
  std::string host = HostPath(path);
  std::error_code ignored;
  const std::filesystem::path full = std::filesystem::absolute(host, ignored);
  if (!full.empty()) host = full.string();
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  const bool plain = std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+,:@%", c) != nullptr;
  });
  if (plain) return host;
  std::string quoted = "'";
  for (char c : host) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace quarnell
