#include "app/output_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "text/codepage.h"
#include "text/file.h"

namespace qh {
namespace {

using testing::TempDir;

TEST(OutputFileTest, AppendsExactlyTheTextBytes) {
  struct Case {
    std::string name;
    std::optional<std::string> before;  // nothing: no file yet
    std::vector<Text> appends;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"new file, five bytes", std::nullopt, {Text::FromCp936("\r\nA\r\n")}, "\r\nA\r\n"},
      {"same text twice",
       std::nullopt,
       {Text::FromCp936("\r\nA\r\n"), Text::FromCp936("\r\nA\r\n")},
       "\r\nA\r\n\r\nA\r\n"},
      {"double-byte characters kept as they are",
       std::nullopt,
       {Text::FromCp936("\xC7\xE9\xBB\xB0\r\n")},
       "\xC7\xE9\xBB\xB0\r\n"},
      {"empty text creates an empty file", std::nullopt, {Text()}, ""},
      {"empty text leaves a file alone", "\xC7\xE9", {Text()}, "\xC7\xE9"},
      {"earlier runs' content stays in front",
       "old\r\n",
       {Text::FromCp936("new"), Text::FromCp936("er")},
       "old\r\nnewer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto path = dir / "out.txt";
    if (c.before) testing::WriteFileBytes(path, *c.before);
    for (const Text& text : c.appends) EXPECT_TRUE(AppendToOutputFile(path, text).ok());
    EXPECT_EQ(testing::ReadFileBytes(path), c.after);
  }
}

TEST(OutputFileTest, FailuresDropThePageAndKeepTheFile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "a directory");
  testing::WriteFileBytes(dir / "a file", "kept");
  struct Case {
    std::string name;
    std::filesystem::path path;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"a directory", dir / "a directory", "Is a directory"},
      {"below a file", dir / "a file" / "out.txt", "Not a directory"},
      {"in a missing directory", dir / "missing" / "out.txt", "No such file or directory"},
      {"a full disk", "/dev/full", "No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AppendResult result = AppendToOutputFile(c.path, Text::FromCp936("\r\nA\r\n"));
    EXPECT_FALSE(result.ok());
    // The message names the path and the reason, so that it can be shown as it is.
    EXPECT_NE(result.error.find(c.path.string()), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir / "a directory"));
  EXPECT_EQ(testing::ReadFileBytes(dir / "a file"), "kept");
  EXPECT_FALSE(AppendToOutputFile({}, Text::FromCp936("x")).ok());
}

TEST(OutputFileTest, ReadOnlyFileKeepsItsContent) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir dir;
  const auto path = dir / "out.txt";
  testing::WriteFileBytes(path, "kept");
  ::chmod(path.c_str(), 0444);
  const AppendResult result = AppendToOutputFile(path, Text::FromCp936("more"));
  EXPECT_NE(result.error.find("Permission denied"), std::string::npos) << result.error;
  EXPECT_EQ(testing::ReadFileBytes(path), "kept");
}

// Lowers the process's file size limit for its lifetime, so that a write stops part-way like on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

TEST(OutputFileTest, WriteCutShortLeavesTheFileEndingOnAWholePage) {
  TempDir dir;
  const auto path = dir / "out.txt";
  const std::string firstPage = "\r\n" + std::string(100, 'a') + "\r\n";
  ASSERT_TRUE(AppendToOutputFile(path, Text::FromCp936(firstPage)).ok());
  {
    // Room for half of the second page only: the part that did go in is taken out again.
    FileSizeLimit limit(firstPage.size() + 50);
    const AppendResult result =
        AppendToOutputFile(path, Text::FromCp936("\r\n" + std::string(100, 'b') + "\r\n"));
    EXPECT_NE(result.error.find("File too large"), std::string::npos) << result.error;
  }
  EXPECT_EQ(testing::ReadFileBytes(path), firstPage);
  ASSERT_TRUE(AppendToOutputFile(path, Text::FromCp936("c")).ok());
  EXPECT_EQ(testing::ReadFileBytes(path), firstPage + "c");
}

TEST(OutputFileTest, SyncSucceedsWhereThereIsNothingToFlush) {
  TempDir dir;
  const auto path = dir / "out.txt";
  EXPECT_TRUE(SyncOutputFile(path).ok()) << "missing file";
  ASSERT_TRUE(AppendToOutputFile(path, Text::FromCp936("x")).ok());
  EXPECT_TRUE(SyncOutputFile(path).ok()) << "regular file";
  EXPECT_TRUE(SyncOutputFile("/dev/full").ok()) << "device";
  EXPECT_TRUE(SyncOutputFile(dir.path()).ok()) << "directory";
}

TEST(OutputFileTest, DefaultPathIsTheNamedFileNextToTheProgram) {
  const std::filesystem::path path = DefaultOutputPath();
  EXPECT_EQ(path.filename(), std::filesystem::path(u8"情话.txt"));
  EXPECT_EQ(path.parent_path(), ProgramDirectory());
}

}  // namespace
}  // namespace qh
