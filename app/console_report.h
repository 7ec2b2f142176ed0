// Reports a headless run on stderr: a live progress bar on a terminal or a plain line per 100 pages
// otherwise, each dropped page on a line of its own, the first failed request, and a summary at the end.
//   ConsoleReport report(std::cerr, isatty(2), [&] { return signals.Caught() != 0; });
//   RunSummary summary = ScrapeRun(pages, path, report);  report.Finish(summary, path);
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/scrape_run.h"

namespace qh {

class ConsoleReport : public ScrapeProgress {
 public:
  ConsoleReport(std::ostream& err, bool terminal, std::function<bool()> stopRequested);

  void PageDone(const PageReport& report) override;
  bool StopRequested() override;
  // Prints `line` on a line of its own behind the program's name, clear of the progress bar.
  void PrintLine(const std::string& line);
  // Ends the progress display and prints the summary line.
  void Finish(const RunSummary& summary, const std::filesystem::path& output);

 private:
  std::ostream& err_;
  bool terminal_;
  std::function<bool()> stopRequested_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDrawn_{};
  bool barShown_ = false;
  bool requestFailureShown_ = false;
  int pagesDone_ = 0;
};

}  // namespace qh
