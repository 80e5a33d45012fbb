// ReadIni over arbitrary file contents and an arbitrary section and key.
// Input: section NUL key NUL file bytes (missing parts are empty).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ini.h"
#include "text/cp850.h"

namespace {

// One scratch file for the whole run, unlinked at once so that nothing is left behind; ReadIni
// reaches it through /proc.
int ScratchFile() {
  static const int fd = [] {
    char pattern[] = "/tmp/fuzz_ini-XXXXXX";
    int created = mkstemp(pattern);
    if (created < 0) abort();
    unlink(pattern);
    return created;
  }();
  return fd;
}

std::string_view NextPart(std::string_view& input) {
  size_t nul = input.find('\0');
  if (nul == std::string_view::npos) {
    std::string_view part = input;
    input = {};
    return part;
  }
  std::string_view part = input.substr(0, nul);
  input.remove_prefix(nul + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view section = NextPart(input);
  std::string_view key = NextPart(input);
  std::string_view contents = input;

  int fd = ScratchFile();
  if (ftruncate(fd, 0) != 0) abort();
  if (pwrite(fd, contents.data(), contents.size(), 0) != static_cast<ssize_t>(contents.size())) {
    abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::string value = quarnell::ReadIni(path, section, key);
  // A value comes from one line, stops before any comment, and is text of the file as the
  // reader sees it: the bytes themselves, or their code page 850 form when the file is UTF-8.
  std::string text(contents);
  if (quarnell::ReadsAsUtf8(contents)) {
    text = quarnell::Utf8ToCp850Replacing(contents, '?', nullptr).value_or(std::string());
  }
  if (value.find('\n') != std::string::npos) abort();
  if (value.find(';') != std::string::npos) abort();
  if (!value.empty() && text.find(value) == std::string::npos) abort();
  return 0;
}
