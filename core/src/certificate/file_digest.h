#pragma once
// Digests of the producer's files on disk (artifacts, the BOM and the audit file), hashed while
// they are read.

#include <map>
#include <string>

#include "result.h"
#include "text/fs.h"

namespace fennick::certificate {

// The digests of the files that one verification reads. One read buffer serves every file, and a
// file that several stages, names or links reach is read and hashed once: a certificate that
// lists one large file many times costs one pass over it, not one per listing.
class FileDigests {
 public:
  // The digest text (64 lower-case hex characters) of the file's content. Only a regular file is
  // read (links followed); it is read in pieces, so a file of any size is hashed in bounded
  // memory. The errors are those of a whole-file read ("No such file or directory (os error 2)",
  // "Is a directory (os error 21)", ...) and "not a regular file".
  fennick::Result<std::string> sha256_hex(const std::string& path);

 private:
  text::ReadBuffer buffer_;
  std::map<text::FileIdentity, std::string> known_;
};

}  // namespace fennick::certificate
