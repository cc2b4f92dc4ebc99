#pragma once
// Platform helpers. Paths are byte strings: they are held in std::string and never required to be
// UTF-8 (display them with lossy_utf8).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace fennick::text {

// The system's description of errnum followed by " (os error N)",
// e.g. "No such file or directory (os error 2)".
std::string os_error_text(int errnum);

// The whole file as bytes. A directory opens but fails to read: "Is a directory (os error 21)".
// A path holding a NUL byte is refused before any system call, since the system would read a
// different, truncated path.
fennick::Result<std::string> read_file(const std::string& path);

// Reads a file piece by piece (at most `chunk` bytes at a time) and hands each piece to
// `consume`, so that a file of any size is read in bounded memory. The errors are those of
// read_file. Files are opened without blocking, so a FIFO without a writer reads as empty
// instead of stalling the run. Returns the error text, or none once the whole file was read.
std::optional<std::string> read_file_chunks(const std::string& path, std::size_t chunk,
                                            const std::function<void(std::string_view)>& consume);

// True when the path names a directory once symbolic links are followed; any failure gives false.
bool is_directory(const std::string& path);

// Appends `relative` to `dir` with one '/' between them, unless dir is empty or already ends in
// '/'. An absolute `relative` replaces dir.
std::string join_path(std::string_view dir, std::string_view relative);

// Entry names of a directory in listing order, without "." and "..". None when the directory
// cannot be opened; a failure part-way ends the listing with the names read so far.
std::optional<std::vector<std::string>> list_directory(const std::string& path);

// Path order: component by component, each normal component compared as bytes. Repeated and
// trailing '/' and inner "." components are ignored; a root sorts before a leading ".", which
// sorts before "..", which sorts before any normal component. Two paths are equal as paths when
// neither is less than the other ("a//b" and "a/./b" equal "a/b").
bool path_less(std::string_view a, std::string_view b);

// The final normal component; none for "", "/", "." and a path ending in "..".
std::optional<std::string_view> file_name(std::string_view path);

// The text after the last '.' of the final component; none when there is no final component, the
// component has no '.', its only '.' is its first character (".json") or it is "..".
// "name." has the empty extension.
std::optional<std::string_view> extension(std::string_view path);

}  // namespace fennick::text
