#include "app/scrape_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "text/codepage.h"

namespace qh {
namespace {

using testing::TempDir;

// Records what the label would show, and can ask the run to stop after a given page.
class RecordingProgress : public ScrapeProgress {
 public:
  void PageDone(const PageReport& report) override {
    pages.push_back(report.page);
    labels.push_back(report.progress);
    if (!report.append.ok()) errors.push_back(report.append.error);
  }
  bool StopRequested() override { return stopAfter != 0 && !pages.empty() && pages.back() >= stopAfter; }

  std::vector<int> pages;
  std::vector<Text> labels;
  std::vector<std::string> errors;
  int stopAfter = 0;
};

// A page's text that names the page, so that the file shows the order of the appends.
std::string PageText(int page, const std::string& tag = "") {
  return "\r\n" + tag + std::to_string(page) + "\r\n";
}

std::string PagesText(int from, int to, const std::string& tag = "") {
  std::string text;
  for (int page = from; page <= to; ++page) text += PageText(page, tag);
  return text;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> pages;
  for (int page = from; page <= to; ++page) pages.push_back(page);
  return pages;
}

// Answers every page with its own text; `during` runs while the request for a page is being finished.
PageSource FakePages(const std::string& tag = "", std::function<void(int)> during = {}) {
  return [tag, during](const Text& page) {
    const int number = std::stoi(page.str());
    if (during) during(number);
    return ScrapedPage{
        .text = Text::FromCp936(PageText(number, tag)), .sayings = 1, .status = Text::FromCp936("200 OK")};
  };
}

TEST(ScrapeRunTest, FetchesPagesTwoTo1981InOrderAndShowsEachInTheLabel) {
  std::mutex mutex;
  std::vector<std::string> paths;
  testing::LoopbackServer server([&](const httplib::Request& req, httplib::Response& res) {
    {
      const std::lock_guard lock(mutex);
      paths.push_back(req.path);
    }
    const std::string page = std::to_string(testing::PageOfPath(req.path).value_or(0));
    res.set_content("<a href=\"/\"><p>chrome</p></a>\n<a><p>saying " + page + "</p></a>\n", "text/html");
  });
  TempDir dir;
  RecordingProgress progress;
  const RunSummary summary = ScrapeRun(SitePages(TextFromUtf8(server.site())), dir / "out.txt", progress);

  std::vector<std::string> expectedPaths;
  std::string expectedFile;
  for (int page = kFirstPage; page <= kLastPage; ++page) {
    expectedPaths.push_back("/qh/" + std::to_string(page) + ".html");
    expectedFile += "\r\nsaying " + std::to_string(page) + "\r\n";
  }
  EXPECT_EQ(paths, expectedPaths);
  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), expectedFile);
  EXPECT_EQ(progress.pages, Range(2, 1981));
  ASSERT_EQ(progress.labels.size(), 1980u);
  EXPECT_EQ(progress.labels.front(), u8"正在进行第2次爬取"_text);
  EXPECT_EQ(progress.labels[1], u8"正在进行第3次爬取"_text);
  EXPECT_EQ(progress.labels.back(), u8"正在进行第1981次爬取"_text);
  EXPECT_TRUE(summary.ok());
  EXPECT_FALSE(summary.stopped);
  EXPECT_EQ(summary.pagesDone, 1980);
  EXPECT_EQ(summary.pagesFailed, 0);
  EXPECT_EQ(summary.sayings, 1980);
  EXPECT_EQ(summary.bytesWritten, static_cast<std::int64_t>(expectedFile.size()));
}

TEST(ScrapeRunTest, EveryRequestFailingStillMakesAllPasses) {
  struct Case {
    std::string name;
    std::optional<std::string> before;
  };
  for (const Case& c :
       std::vector<Case>{{"no file yet", std::nullopt}, {"a file from before", "earlier\r\n"}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.before) testing::WriteFileBytes(dir / "out.txt", *c.before);
    RecordingProgress progress;
    // Nothing listens on port 1 of the loopback address.
    const RunSummary summary = ScrapeRun(SitePages(TextFromUtf8("127.0.0.1:1")), dir / "out.txt", progress);
    EXPECT_EQ(progress.pages, Range(2, 1981));
    EXPECT_EQ(progress.labels.back(), u8"正在进行第1981次爬取"_text);
    EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), c.before.value_or(""));
    EXPECT_EQ(summary.requestsFailed, 1980);
    EXPECT_EQ(summary.pagesFailed, 1980);
    // Nothing was lost: every (empty) text reached the file.
    EXPECT_TRUE(summary.ok());
  }
}

TEST(ScrapeRunTest, ASecondRunAppendsThePagesAgain) {
  TempDir dir;
  RecordingProgress first;
  RecordingProgress second;
  ScrapeRun(FakePages(), dir / "out.txt", first);
  ScrapeRun(FakePages(), dir / "out.txt", second);
  EXPECT_EQ(second.pages, Range(2, 1981));
  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), PagesText(2, 1981) + PagesText(2, 1981));
}

TEST(ScrapeRunTest, ARunNestedDuringPageKGoesFirstThenTheOuterRunCarriesOn) {
  constexpr int kNestedAt = 100;
  TempDir dir;
  RecordingProgress progress;
  bool nested = false;
  // A click dispatched while the outer run's request for page K yields to the window.
  const PageSource inner = FakePages("inner ");
  const PageSource outer = FakePages("outer ", [&](int page) {
    if (page != kNestedAt || nested) return;
    nested = true;
    ScrapeRun(inner, dir / "out.txt", progress);
  });
  ScrapeRun(outer, dir / "out.txt", progress);

  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), PagesText(2, kNestedAt - 1, "outer ") +
                                                         PagesText(2, 1981, "inner ") +
                                                         PagesText(kNestedAt, 1981, "outer "));
  std::vector<int> labels = Range(2, kNestedAt - 1);
  for (int page : Range(2, 1981)) labels.push_back(page);
  for (int page : Range(kNestedAt, 1981)) labels.push_back(page);
  EXPECT_EQ(progress.pages, labels);
}

TEST(ScrapeRunTest, AStopRequestEndsTheRunAfterThePageInProgress) {
  TempDir dir;
  RecordingProgress progress;
  progress.stopAfter = 17;
  const RunSummary summary = ScrapeRun(FakePages(), dir / "out.txt", progress);
  EXPECT_TRUE(summary.stopped);
  EXPECT_EQ(summary.pagesDone, 16);
  EXPECT_EQ(progress.pages, Range(2, 17));
  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), PagesText(2, 17));
}

TEST(ScrapeRunTest, AppendFailuresAreCountedAndTheRunGoesOn) {
  TempDir dir;
  RecordingProgress progress;
  const RunSummary summary = ScrapeRun(FakePages(), dir.path(), progress);
  EXPECT_EQ(progress.pages, Range(2, 1981));
  EXPECT_EQ(progress.errors.size(), 1980u);
  EXPECT_FALSE(summary.ok());
  EXPECT_EQ(summary.appendsFailed, 1980);
  EXPECT_EQ(summary.pagesFailed, 1980);
  EXPECT_EQ(summary.sayings, 0);
  EXPECT_EQ(summary.bytesWritten, 0);
}

}  // namespace
}  // namespace qh
