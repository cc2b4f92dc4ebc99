#include "text/fs.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace fennick::text {
namespace {

class FsTest : public ::testing::Test {
 protected:
  std::string path(std::string_view relative) const { return temp_ / relative; }
  void write(std::string_view relative, std::string_view bytes) const {
    temp_.write(relative, bytes);
  }

  const test_support::TempDir temp_;
  const std::string& dir_ = temp_.path();
};

TEST(OsErrorText, DescriptionThenNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
  EXPECT_EQ(os_error_text(21), "Is a directory (os error 21)");
  EXPECT_EQ(os_error_text(13), "Permission denied (os error 13)");
}

TEST_F(FsTest, ReadFileGivesBytesOrTheSystemsError) {
  const std::string bytes = std::string("a\0b\r\n\xFF\xEF\xBB\xBF", 8);
  write("data.bin", bytes);
  write("empty", "");
  for (const OpenMode mode : {OpenMode::kAsGiven, OpenMode::kRegularOnly}) {
    const auto read = read_file(path("data.bin"), mode);
    ASSERT_TRUE(read.ok()) << read.error();
    EXPECT_EQ(*read, bytes);

    const auto empty = read_file(path("empty"), mode);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(*empty, "");

    const auto missing = read_file(path("missing.json"), mode);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");

    const auto directory = read_file(dir_, mode);
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error(), "Is a directory (os error 21)");
  }
}

TEST_F(FsTest, ReadFileRefusesAnEmbeddedNul) {
  write("a", "not to be read");
  for (const OpenMode mode : {OpenMode::kAsGiven, OpenMode::kRegularOnly}) {
    const auto read = read_file(path("a") + std::string("\0.json", 6), mode);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), "file name contained an unexpected NUL byte");
  }
  EXPECT_FALSE(is_directory(dir_ + std::string("\0", 1)));
  EXPECT_FALSE(list_directory(dir_ + std::string("\0", 1)).has_value());
}

// A producer's directory may hold a FIFO (which would stall a read), links to devices (which
// never end) and sockets: only regular files are read from there, and that without blocking.
TEST_F(FsTest, FilesFoundInADirectoryAreReadOnlyWhenRegular) {
  write("data", "payload");
  std::filesystem::create_symlink(path("data"), path("link"));
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/null", path("null"));
  std::filesystem::create_symlink("/dev/zero", path("zero"));
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path("sock").size(), sizeof address.sun_path);
  path("sock").copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(listener);

  for (const std::string name : {"pipe", "null", "zero", "sock"}) {
    const auto read = read_file(path(name), OpenMode::kRegularOnly);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_EQ(read.error(), kNotARegularFile) << name;
  }
  const auto linked = read_file(path("link"), OpenMode::kRegularOnly);
  ASSERT_TRUE(linked.ok()) << linked.error();
  EXPECT_EQ(*linked, "payload");
  // A regular file whose size the system gives as 0 but that reads on is refused: its size at
  // opening bounds the read.
  const auto status = read_file("/proc/self/status", OpenMode::kRegularOnly);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), kFileChanged);

  // Named on the command line, a path is read as given (a FIFO's late writer: end to end).
  const auto null = read_file(path("null"), OpenMode::kAsGiven);
  ASSERT_TRUE(null.ok()) << null.error();
  EXPECT_EQ(*null, "");
  ASSERT_FALSE(read_file(path("sock"), OpenMode::kAsGiven).ok());
  const auto given_status = read_file("/proc/self/status", OpenMode::kAsGiven);
  ASSERT_TRUE(given_status.ok()) << given_status.error();
  EXPECT_NE(given_status->find("Pid:"), std::string::npos);
}

// A file found in a directory is read no further than the size it had when opened, by every
// kind of read: /proc/self/pagemap states size 0 and would read on for hundreds of gigabytes.
// One that grows after opening is refused the same way; one that shrinks gives what it holds.
TEST_F(FsTest, FilesFoundInADirectoryAreReadToTheirSizeAtOpening) {
  std::filesystem::create_symlink("/proc/self/pagemap", path("pagemap"));
  const ReadBuffer buffer(4);
  std::string hashed;  // what the piecewise reads handed on
  const auto keep = [&](std::string_view piece) { hashed.append(piece); };

  auto pagemap = InputFile::open(path("pagemap"), OpenMode::kRegularOnly);
  ASSERT_TRUE(pagemap.ok()) << pagemap.error();
  EXPECT_EQ(pagemap->read_pieces(buffer.span(), keep), std::string(kFileChanged));
  EXPECT_EQ(hashed, "");
  const auto whole = read_file(path("pagemap"), OpenMode::kRegularOnly);
  ASSERT_FALSE(whole.ok());
  EXPECT_EQ(whole.error(), kFileChanged);
  const auto bytes = read_file_bytes(path("pagemap"), OpenMode::kRegularOnly);
  ASSERT_FALSE(bytes.ok());
  EXPECT_EQ(bytes.error(), kFileChanged);

  for (const bool pieces : {true, false}) {
    SCOPED_TRACE(pieces);
    write("growing", "0123456789");
    write("shrinking", "0123456789");
    auto growing = InputFile::open(path("growing"), OpenMode::kRegularOnly);
    auto shrinking = InputFile::open(path("shrinking"), OpenMode::kRegularOnly);
    ASSERT_TRUE(growing.ok() && shrinking.ok());
    std::ofstream(path("growing"), std::ios::app) << "more";
    std::filesystem::resize_file(path("shrinking"), 3);
    hashed.clear();
    if (pieces) {
      EXPECT_EQ(growing->read_pieces(buffer.span(), keep), std::string(kFileChanged));
      EXPECT_EQ(hashed, "0123456789");
      hashed.clear();
      EXPECT_EQ(shrinking->read_pieces(buffer.span(), keep), std::nullopt);
      EXPECT_EQ(hashed, "012");
    } else {
      const auto grown = growing->read_all();
      ASSERT_FALSE(grown.ok());
      EXPECT_EQ(grown.error(), kFileChanged);
      const auto shrunk = shrinking->read_all_bytes();
      ASSERT_TRUE(shrunk.ok()) << shrunk.error();
      EXPECT_EQ(shrunk->view(), "012");
    }
  }

  // Read as given, a growing file is read to its end.
  write("growing", "0123456789");
  auto given = InputFile::open(path("growing"), OpenMode::kAsGiven);
  ASSERT_TRUE(given.ok());
  std::ofstream(path("growing"), std::ios::app) << "more";
  const auto all = given->read_all();
  ASSERT_TRUE(all.ok()) << all.error();
  EXPECT_EQ(*all, "0123456789more");
}

// A file found in a directory whose size no allocation can hold (a sparse file of terabytes) is
// unreadable, as the system says it for memory it cannot give, by both whole-file reads.
TEST_F(FsTest, FileTooLargeToHoldIsUnreadable) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer ends the process on an allocation of this size";
#endif
  write("huge", "");
  if (!test_support::make_unallocatable_sparse(path("huge"))) {
    GTEST_SKIP() << "the file system refuses a sparse file of terabytes";
  }
  const auto text = read_file(path("huge"), OpenMode::kRegularOnly);
  ASSERT_FALSE(text.ok());
  EXPECT_EQ(text.error(), "Cannot allocate memory (os error 12)");
  const auto bytes = read_file_bytes(path("huge"), OpenMode::kRegularOnly);
  ASSERT_FALSE(bytes.ok());
  EXPECT_EQ(bytes.error(), "Cannot allocate memory (os error 12)");
}

TEST_F(FsTest, InputFileReadsInPiecesAndKnowsWhichFileItIs) {
  write("data", "0123456789");
  write("other", "0123456789");
  std::filesystem::create_symlink(path("data"), path("link"));
  auto data = InputFile::open(path("data"), OpenMode::kRegularOnly);
  auto link = InputFile::open(path("link"), OpenMode::kRegularOnly);
  auto other = InputFile::open(path("other"), OpenMode::kRegularOnly);
  ASSERT_TRUE(data.ok() && link.ok() && other.ok());
  EXPECT_EQ(data->identity(), link->identity());
  EXPECT_NE(data->identity(), other->identity());

  const ReadBuffer buffer(4);
  std::vector<std::string> pieces;
  EXPECT_EQ(
      data->read_pieces(buffer.span(), [&](std::string_view piece) { pieces.emplace_back(piece); }),
      std::nullopt);
  EXPECT_EQ(pieces, (std::vector<std::string>{"0123", "4567", "89"}));
}

TEST_F(FsTest, IsDirectoryFollowsLinks) {
  std::filesystem::create_directory(path("sub"));
  write("file", "x");
  std::filesystem::create_directory_symlink(path("sub"), path("link"));
  std::filesystem::create_symlink(path("nowhere"), path("dangling"));
  EXPECT_TRUE(is_directory(dir_));
  EXPECT_TRUE(is_directory(path("sub")));
  EXPECT_TRUE(is_directory(path("link")));
  EXPECT_FALSE(is_directory(path("file")));
  EXPECT_FALSE(is_directory(path("dangling")));
  EXPECT_FALSE(is_directory(path("missing")));
}

TEST_F(FsTest, ListDirectoryGivesRawNames) {
  write("b.json", "");
  write("\xFF.json", "");
  std::filesystem::create_directory(path("sub.json"));
  auto names = list_directory(dir_);
  ASSERT_TRUE(names.has_value());
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"b.json", "sub.json", "\xFF.json"}));
  EXPECT_FALSE(list_directory(path("missing")).has_value());
  EXPECT_FALSE(list_directory(path("b.json")).has_value());
}

TEST(JoinPath, InsertsOneSeparatorAndLetsAbsolutePathsWin) {
  EXPECT_EQ(join_path("dir", "a.json"), "dir/a.json");
  EXPECT_EQ(join_path("dir/", "a.json"), "dir/a.json");
  EXPECT_EQ(join_path("", "a.json"), "a.json");
  EXPECT_EQ(join_path("dir", "/etc/passwd"), "/etc/passwd");
  EXPECT_EQ(join_path("dir", ".factory/sbom.cdx.json"), "dir/.factory/sbom.cdx.json");
  EXPECT_EQ(join_path("dir", ""), "dir/");
  EXPECT_EQ(join_path("/", "x"), "/x");
  EXPECT_EQ(join_path("dir//", "x"), "dir//x");
}

TEST(PathLess, ComparesComponentsNotBytes) {
  // As bytes "a.b" and "a-b" sort before "a/b"; as paths "a" comes first.
  EXPECT_TRUE(path_less("a/b", "a.b"));
  EXPECT_FALSE(path_less("a.b", "a/b"));
  EXPECT_TRUE(path_less("a/b", "a-b"));
  EXPECT_FALSE(path_less("a-b", "a/b"));
  // Within one directory it is the byte order of the names, a prefix first.
  EXPECT_TRUE(path_less("a.b.json", "a.json"));
  EXPECT_TRUE(path_less("a.json", "b.json"));
  EXPECT_TRUE(path_less("A.json", "a.json"));
  EXPECT_TRUE(path_less("z.json", "\xC3\xA9.json"));  // bytes compare unsigned
  EXPECT_TRUE(path_less("a", "a/b"));
}

TEST(PathLess, IgnoresRepeatedSeparatorsAndInnerDots) {
  const auto equal = [](std::string_view a, std::string_view b) {
    return !path_less(a, b) && !path_less(b, a);
  };
  EXPECT_TRUE(equal("a//b", "a/b"));
  EXPECT_TRUE(equal("a/b/", "a/b"));
  EXPECT_TRUE(equal("a/./b", "a/b"));
  EXPECT_TRUE(equal("", ""));
  EXPECT_FALSE(equal("./a", "a"));
  EXPECT_FALSE(equal("/a", "a"));
  EXPECT_FALSE(equal("a/../b", "b"));
  // Root, then a leading ".", then "..", then names.
  EXPECT_TRUE(path_less("/z", "./a"));
  EXPECT_TRUE(path_less("./z", "../a"));
  EXPECT_TRUE(path_less("../z", "a"));
  EXPECT_TRUE(path_less("..", "..."));
  EXPECT_TRUE(path_less("", "a"));
}

TEST(FileName, FinalNormalComponent) {
  EXPECT_EQ(file_name("dir/a.json"), "a.json");
  EXPECT_EQ(file_name("a.json"), "a.json");
  EXPECT_EQ(file_name("dir/sub/"), "sub");
  EXPECT_EQ(file_name("dir/sub/."), "sub");
  EXPECT_EQ(file_name("/"), std::nullopt);
  EXPECT_EQ(file_name(""), std::nullopt);
  EXPECT_EQ(file_name("."), std::nullopt);
  EXPECT_EQ(file_name(".."), std::nullopt);
  EXPECT_EQ(file_name("dir/.."), std::nullopt);
}

TEST(Extension, TextAfterTheLastDotOfTheName) {
  EXPECT_EQ(extension("a.json"), "json");
  EXPECT_EQ(extension("a.b.json"), "json");
  EXPECT_EQ(extension("c.JSON"), "JSON");
  EXPECT_EQ(extension("dir.d/notes.txt"), "txt");
  EXPECT_EQ(extension(".hidden.md"), "md");
  EXPECT_EQ(extension("name."), "");
  EXPECT_EQ(extension("..."), "");
  EXPECT_EQ(extension(".json"), std::nullopt);
  EXPECT_EQ(extension("name"), std::nullopt);
  EXPECT_EQ(extension("dir.d/name"), std::nullopt);
  EXPECT_EQ(extension(".."), std::nullopt);
  EXPECT_EQ(extension(""), std::nullopt);
}

}  // namespace
}  // namespace fennick::text
