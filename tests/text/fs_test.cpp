#include "text/fs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
  const auto read = read_file(path("data.bin"));
  ASSERT_TRUE(read.ok()) << read.error();
  EXPECT_EQ(*read, bytes);

  write("empty", "");
  const auto empty = read_file(path("empty"));
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(*empty, "");

  const auto missing = read_file(path("missing.json"));
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");

  const auto directory = read_file(dir_);
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.error(), "Is a directory (os error 21)");
}

TEST_F(FsTest, ReadFileRefusesAnEmbeddedNul) {
  write("a", "not to be read");
  const auto read = read_file(path("a") + std::string("\0.json", 6));
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error(), "file name contained an unexpected NUL byte");
  EXPECT_FALSE(is_directory(dir_ + std::string("\0", 1)));
  EXPECT_FALSE(list_directory(dir_ + std::string("\0", 1)).has_value());
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
