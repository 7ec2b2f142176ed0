#include "app/console_report.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <utility>

#include "text/codepage.h"

namespace qh {
namespace {

using Seconds = std::chrono::duration<double>;

constexpr int kBarWidth = 30;
constexpr int kPagesPerLine = 100;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string FormatDuration(double seconds) {
  const long total = std::lround(seconds);
  char buffer[32];
  if (total >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
  }
  return buffer;
}

std::string FormatFixed(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// Returns the progress of `done` of `total` pages after `elapsed`: count, rate and time left, with a bar
// of `barWidth` cells in front when barWidth > 0.
std::string FormatProgress(int done, int total, std::chrono::duration<double> elapsed, int barWidth) {
  std::string line;
  if (barWidth > 0) {
    const int filled = total > 0 ? static_cast<int>(static_cast<long long>(done) * barWidth / total) : 0;
    line += '[';
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(barWidth - filled), '.');
    line += "] ";
  }
  line += std::to_string(done) + "/" + std::to_string(total) + " pages";
  const double seconds = elapsed.count();
  if (done > 0 && seconds > 0) {
    const double rate = done / seconds;
    line += ", " + FormatFixed(rate) + " pages/s, " + FormatDuration((total - done) / rate) + " left";
  }
  return line;
}

// Returns the summary line of a finished run.
std::string FormatSummary(const RunSummary& summary, const std::filesystem::path& output) {
  return std::to_string(summary.pagesDone) + " pages fetched, " + std::to_string(summary.pagesFailed) +
         " failed, " + std::to_string(summary.sayings) + " sayings appended, " +
         std::to_string(summary.bytesWritten) + " bytes written to " + output.string() + " in " +
         FormatFixed(Seconds(summary.elapsed).count()) + " s";
}

}  // namespace

ConsoleReport::ConsoleReport(std::ostream& err, bool terminal, std::function<bool()> stopRequested)
    : err_(err), terminal_(terminal), stopRequested_(std::move(stopRequested)) {}

bool ConsoleReport::StopRequested() {
  return stopRequested_ && stopRequested_();
}

void ConsoleReport::PrintLine(const std::string& line) {
  // Clear the bar first so that the message does not run into it; the next page draws it again.
  if (barShown_) err_ << "\r\033[K";
  barShown_ = false;
  err_ << "qinghua: " << line << '\n' << std::flush;
}

void ConsoleReport::PageDone(const PageReport& report) {
  ++pagesDone_;
  if (!report.append.ok())
    PrintLine("page " + std::to_string(report.page) + " dropped: " + report.append.error);
  if (report.scraped.failed() && !requestFailureShown_) {
    requestFailureShown_ = true;
    const std::string status =
        report.scraped.status.empty() ? "no answer" : Utf8FromText(report.scraped.status);
    PrintLine("page " + std::to_string(report.page) + ": request failed: " + status +
              " (further failed requests are only counted)");
  }

  const auto now = std::chrono::steady_clock::now();
  if (terminal_) {
    if (now - lastDrawn_ < kRedrawInterval && pagesDone_ != kPageCount) return;
    lastDrawn_ = now;
    err_ << '\r' << FormatProgress(pagesDone_, kPageCount, now - start_, kBarWidth) << "\033[K" << std::flush;
    barShown_ = true;
  } else if (pagesDone_ % kPagesPerLine == 0) {
    PrintLine(FormatProgress(pagesDone_, kPageCount, now - start_, 0));
  }
}

void ConsoleReport::Finish(const RunSummary& summary, const std::filesystem::path& output) {
  if (barShown_) err_ << '\n';
  barShown_ = false;
  if (!summary.sync.ok()) PrintLine(summary.sync.error);
  PrintLine(FormatSummary(summary, output));
}

}  // namespace qh
