#pragma once
// Digests of files on disk, hashed while they are read.

#include <string>

#include "result.h"

namespace fennick::certificate {

// The digest text (64 lower-case hex characters) of a file's content. The file is read in
// fixed-size pieces, so an artifact or BOM of any size is hashed in bounded memory; the errors
// are those of a whole-file read ("No such file or directory (os error 2)", "Is a directory
// (os error 21)", ...).
fennick::Result<std::string> file_sha256_hex(const std::string& path);

}  // namespace fennick::certificate
