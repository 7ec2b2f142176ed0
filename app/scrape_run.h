// One harvest of the content site: pages 2 to 1981 in order, each page's text appended to the output file
// before the next page is requested, progress reported after every page. Free of any window toolkit.
//   struct Quiet : ScrapeProgress { void PageDone(const PageReport&) override {} } quiet;
//   RunSummary summary = ScrapeRun(SitePages(TextFromUtf8("127.0.0.1:8080")), DefaultOutputPath(), quiet);
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "app/output_file.h"
#include "app/scrape_page.h"
#include "text/text.h"

namespace qh {

inline constexpr int kFirstPage = 2;
inline constexpr int kLastPage = 1981;
inline constexpr int kPageCount = kLastPage - kFirstPage + 1;

// Fetches and cuts one page, given its number as decimal digits. Tests substitute their own.
using PageSource = std::function<ScrapedPage(const Text& page)>;

// Returns the page source that scrapes the site at `host` ("name" or "name:port").
PageSource SitePages(Text host);

// Returns the progress text shown after page `page`: "正在进行第" page "次爬取".
Text ProgressText(int page);

// What became of one page.
struct PageReport {
  int page = 0;
  Text progress;        // ProgressText(page)
  ScrapedPage scraped;  // what the page yielded
  AppendResult append;  // whether its text reached the file
};

// The run's listener: the window's label, the command line's progress bar, a test's record.
class ScrapeProgress {
 public:
  virtual ~ScrapeProgress() = default;
  // Called after each page, once its text has been appended or dropped.
  virtual void PageDone(const PageReport& report) = 0;
  // Returns whether the run should end instead of requesting its next page.
  virtual bool StopRequested() { return false; }
};

// The totals of one run.
struct RunSummary {
  int pagesDone = 0;         // pages requested and handed to the file
  int requestsFailed = 0;    // pages whose request got no answer or an HTTP error status
  int appendsFailed = 0;     // pages whose text could not be appended
  int pagesFailed = 0;       // pages whose request or append failed
  std::int64_t sayings = 0;  // sayings appended
  std::int64_t bytesWritten = 0;
  bool stopped = false;  // ended early because StopRequested said so
  AppendResult sync;     // the flush of the file once the run ended
  std::chrono::steady_clock::duration elapsed{};

  // Returns whether every page's text reached the file.
  bool ok() const { return appendsFailed == 0 && sync.ok(); }
};

// Returns the totals of a run over pages 2 to 1981 of `pages`, appending to `output`.
RunSummary ScrapeRun(const PageSource& pages, const std::filesystem::path& output, ScrapeProgress& progress);

}  // namespace qh
