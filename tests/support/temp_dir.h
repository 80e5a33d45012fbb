// A scratch directory for one test, removed with everything in it when the test ends.
#ifndef QUARNELL_TESTS_SUPPORT_TEMP_DIR_H_
#define QUARNELL_TESTS_SUPPORT_TEMP_DIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace quarnell::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qebtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory with a trailing "/", ready for the program's directory values.
  std::string dir() const { return path_.string() + "/"; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }

  // Writes `bytes` to `name` (sub-directories are created).
  void Write(std::string_view name, std::string_view bytes) const {
    std::filesystem::path target = path_ / name;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  // The bytes of `name`, empty when it cannot be read.
  std::string Read(std::string_view name) const { return ReadFile((path_ / name).string()); }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_SUPPORT_TEMP_DIR_H_
