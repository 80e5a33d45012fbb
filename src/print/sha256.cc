#include "print/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace quarnell {
namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

DigestContext NewContext() {
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (context != nullptr && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    context.reset();
  }
  return context;
}

std::string Finish(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, digest, &length) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  DigestContext context = NewContext();
  if (context == nullptr || EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) {
    return {};
  }
  return Finish(context.get());
}

bool Sha256OfFile(const std::string& path, std::string* hex, std::string* problem) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *problem = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  DigestContext context = NewContext();
  char block[1 << 16];
  bool ok = context != nullptr;
  int error_number = ok ? 0 : ENOMEM;
  while (ok) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      error_number = errno;
    }
    if (n <= 0) break;
    ok = EVP_DigestUpdate(context.get(), block, static_cast<size_t>(n)) == 1;
  }
  close(fd);
  std::string digest = ok ? Finish(context.get()) : std::string();
  if (digest.empty()) {
    *problem = "cannot read " + path + ": " + std::strerror(error_number != 0 ? error_number : EIO);
    return false;
  }
  *hex = digest;
  return true;
}

}  // namespace quarnell
