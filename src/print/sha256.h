// SHA-256 digests of the files the programs hand out (split statements, archived runs), so that a
// file sent to an owner can later be shown to be the one on record. The digest itself is the
// system's cryptographic library's (OpenSSL); this is only its face for files and texts.
#ifndef QUARNELL_PRINT_SHA256_H_
#define QUARNELL_PRINT_SHA256_H_

#include <string>
#include <string_view>

namespace quarnell {

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

// The digest of the file at `path`, read in blocks. False with "cannot read <path>: <why>" in
// `problem` when it cannot be read whole; `hex` is then unchanged.
bool Sha256OfFile(const std::string& path, std::string* hex, std::string* problem);

}  // namespace quarnell

#endif  // QUARNELL_PRINT_SHA256_H_
