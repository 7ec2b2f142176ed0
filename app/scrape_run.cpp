#include "app/scrape_run.h"

#include <utility>

#include "text/codepage.h"

namespace qh {

PageSource SitePages(Text host) {
  return [host = std::move(host)](const Text& page) { return ScrapePage(page, host); };
}

Text ProgressText(int page) {
  return ConcatTexts(u8"正在进行第"_text, IntToText(page), u8"次爬取"_text);
}

RunSummary ScrapeRun(const PageSource& pages, const std::filesystem::path& output, ScrapeProgress& progress) {
  const auto start = std::chrono::steady_clock::now();
  RunSummary summary;
  // Every value of a page is local to its pass, so a run nested inside this one (a click dispatched while
  // a request yields to the window) has its own page numbers and leaves ours alone.
  for (int page = kFirstPage; page <= kLastPage; ++page) {
    if (progress.StopRequested()) {
      summary.stopped = true;
      break;
    }
    PageReport report{.page = page, .progress = {}, .scraped = pages(IntToText(page)), .append = {}};
    report.append = AppendToOutputFile(output, report.scraped.text);
    report.progress = ProgressText(page);

    ++summary.pagesDone;
    if (report.scraped.failed()) ++summary.requestsFailed;
    if (report.scraped.failed() || !report.append.ok()) ++summary.pagesFailed;
    if (report.append.ok()) {
      summary.sayings += report.scraped.sayings;
      summary.bytesWritten += static_cast<std::int64_t>(report.scraped.text.size());
    } else {
      ++summary.appendsFailed;
    }
    progress.PageDone(report);
  }
  // One flush per run: syncing every page would cost more than the page's request.
  summary.sync = SyncOutputFile(output);
  summary.elapsed = std::chrono::steady_clock::now() - start;
  return summary;
}

}  // namespace qh
