// A window stack file changed behind the program's back: the pop either restores a rectangle of
// the screen or stops through the error stop; it never crashes or reads beyond the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "config/error_stop.h"
#include "screen/memory_console.h"
#include "screen/window_stack.h"

namespace {

struct Stopped {};

const std::string& StackPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/qebfuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    return std::string(pattern) + "/WinPush.tmp";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarnell::SetErrorStopHandler([](std::string_view) { throw Stopped{}; });
  quarnell::MemoryConsole console;
  console.SetWindowStackPath(StackPath());
  quarnell::PushWindow(console, 2, 3, 10, 40);
  quarnell::PushWindow(console, 5, 5, 6, 6);
  {
    std::ofstream out(StackPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    quarnell::PopWindow(console);
    quarnell::PopWindow(console);
  } catch (const Stopped&) {
  }
  unlink(StackPath().c_str());
  return 0;
}
