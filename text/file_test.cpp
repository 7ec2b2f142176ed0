#include "text/file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "text/codepage.h"

namespace qh {
namespace {

namespace fs = std::filesystem;

class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "qh-file-test-XXXXXX").string();
    dir_ = fs::path(mkdtemp(tmpl.data()));
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  static std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(FileTest, WriteThenReadKeepsEveryByte) {
  const fs::path p = dir_ / "f.bin";
  const Bytes content(std::string("a\0\xC7\xE9\r\n", 6));
  ASSERT_TRUE(WriteWholeFile(p, content));
  EXPECT_EQ(ReadWholeFile(p), content);
  EXPECT_TRUE(FileExists(p));
  ASSERT_TRUE(WriteWholeFile(p, Bytes("x")));  // replaces, does not append
  EXPECT_EQ(Slurp(p), "x");
  ASSERT_TRUE(WriteWholeFile(p, Bytes()));
  EXPECT_TRUE(FileExists(p));
  EXPECT_EQ(fs::file_size(p), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(FileTest, FailuresKeepTheFormerContent) {
  EXPECT_FALSE(WriteWholeFile(fs::path(), Bytes("x")));
  EXPECT_TRUE(ReadWholeFile(fs::path()).empty());
  EXPECT_FALSE(FileExists(fs::path()));

  // A directory exists, reads as empty and cannot be written.
  EXPECT_TRUE(FileExists(dir_));
  EXPECT_TRUE(ReadWholeFile(dir_).empty());
  EXPECT_FALSE(WriteWholeFile(dir_, Bytes("x")));
  EXPECT_TRUE(fs::is_directory(dir_));

  EXPECT_FALSE(FileExists(dir_ / "missing"));
  EXPECT_TRUE(ReadWholeFile(dir_ / "missing").empty());
  EXPECT_FALSE(WriteWholeFile(dir_ / "missing" / "f", Bytes("x")));
}

TEST_F(FileTest, WriteFailingHalfWayKeepsTheFormerContent) {
  // A file size limit makes the write fail after the file was opened, as a full disk does, even for root.
  const fs::path p = dir_ / "kept.txt";
  ASSERT_TRUE(WriteWholeFile(p, Bytes("old")));
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = WriteWholeFile(p, Bytes(std::string(100, 'n')));
  setrlimit(RLIMIT_FSIZE, &before);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(Slurp(p), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // temporary removed
}

TEST_F(FileTest, ReadOnlyFileIsLeftAlone) {
  const fs::path p = dir_ / "ro.txt";
  ASSERT_TRUE(WriteWholeFile(p, Bytes("old")));
  fs::permissions(p, fs::perms::owner_read);
  if (access(p.c_str(), W_OK) == 0) GTEST_SKIP() << "running with the right to write read-only files";
  EXPECT_FALSE(WriteWholeFile(p, Bytes("new")));
  EXPECT_EQ(Slurp(p), "old");
}

TEST_F(FileTest, FailedWriteInReadOnlyDirectoryKeepsContent) {
  const fs::path p = dir_ / "kept.txt";
  ASSERT_TRUE(WriteWholeFile(p, Bytes("old")));
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (access(dir_.c_str(), W_OK) == 0) GTEST_SKIP() << "running with the right to write any directory";
  EXPECT_FALSE(WriteWholeFile(p, Bytes("new")));
  EXPECT_EQ(Slurp(p), "old");
}

TEST_F(FileTest, KeepsModeAndWritesThroughSymlinks) {
  const fs::path p = dir_ / "f.txt";
  ASSERT_TRUE(WriteWholeFile(p, Bytes("1")));
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteWholeFile(p, Bytes("2")));
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = dir_ / "link";
  fs::create_symlink(p, link);
  ASSERT_TRUE(WriteWholeFile(link, Bytes("3")));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(p), "3");
}

TEST_F(FileTest, TextNamesAppearUnderTheirRealName) {
  const fs::path p = dir_ / PathFromText(u8"情话.txt"_text);
  ASSERT_TRUE(WriteWholeFile(p, Bytes("x")));
  EXPECT_TRUE(fs::exists(dir_ / "情话.txt"));
}

TEST(ProgramDirectoryTest, IsTheDirectoryOfTheRunningExecutable) {
  const fs::path dir = ProgramDirectory();
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_TRUE(fs::exists(dir / "text_test"));
}

}  // namespace
}  // namespace qh
