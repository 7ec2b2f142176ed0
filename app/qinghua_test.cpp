// The built qinghua executable, run as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/test_support.h"
#include "tools/sample-site/sample_site.h"

namespace qh {
namespace {

using testing::LoopbackServer;
using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

const std::string kBinary = QINGHUA_BINARY;

// The sample site, served from this process.
LoopbackServer::Handler SampleSite(std::function<void(int page)> before = {}) {
  return [before](const httplib::Request& req, httplib::Response& res) {
    if (before) {
      if (const std::optional<int> page = testing::PageOfPath(req.path)) before(*page);
    }
    if (const std::optional<Text> body = sample::Serve(req.path)) {
      res.set_content(body->str(), "text/html");
    } else {
      res.status = 404;
    }
  };
}

// What the file holds after pages `from` to `to` of the sample site.
std::string SampleHarvest(int from, int to) {
  std::string text;
  for (int page = from; page <= to; ++page) {
    text += "\r\n";
    for (const Text& saying : sample::Sayings(page)) text += saying.str() + "\r\n";
  }
  return text;
}

TEST(QinghuaTest, HarvestsTheSampleSiteByteForByte) {
  LoopbackServer site(SampleSite());
  TempDir dir;
  const auto output = dir / "情话.txt";
  const ProcessResult result =
      RunProcess({kBinary, "--headless", "--site", site.site(), "--output", output.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::optional<std::string> file = testing::ReadFileBytes(output);
  ASSERT_TRUE(file.has_value());
  // Compared as a whole, but a mismatch is easier to read as a size first.
  EXPECT_EQ(file->size(), SampleHarvest(2, 1981).size());
  EXPECT_TRUE(*file == SampleHarvest(2, 1981));
  EXPECT_NE(result.err.find("1980 pages fetched, 0 failed, "), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST(QinghuaTest, ExitCodes) {
  TempDir dir;
  std::filesystem::create_directory(dir / "a directory");
  LoopbackServer site(SampleSite());
  const std::string output = (dir / "out.txt").string();
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::map<std::string, std::string> environment;
    int exitCode;
    std::string err;  // a piece of what stderr says
  };
  const std::vector<Case> cases = {
      {"help", {"--help"}, {}, 0, ""},
      {"version", {"--version"}, {}, 0, ""},
      {"unknown option", {"--headless", "--fast", "--output", output}, {}, 2, "unknown option '--fast'"},
      {"missing value", {"--headless", "--output", output, "--site"}, {}, 2, "'--site' needs a value"},
      {"malformed host", {"--headless", "--site", "a/b", "--output", output}, {}, 2, "'a/b' is not a host"},
      {"appends that fail",
       {"--headless", "--site", site.site(), "--output", (dir / "a directory").string()},
       {},
       1,
       "Is a directory"},
      {"no display",
       {"--output", output},
       {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
       255,
       "use --headless"},
      {"a display nobody answers on",
       {"--output", output},
       {{"DISPLAY", "127.0.0.1:77"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}},
       255,
       "use --headless"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> argv = {kBinary};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult result = RunProcess(argv, c.environment);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(output)) << "nothing written";
  }
}

TEST(QinghuaTest, SignalsStopTheRunAfterThePageInProgress) {
  constexpr int kSignalledAt = 10;
  struct Case {
    int signal;
    int exitCode;
  };
  for (const Case& c : std::vector<Case>{{SIGINT, 130}, {SIGTERM, 143}}) {
    SCOPED_TRACE(c.exitCode);
    std::atomic<pid_t> child = -1;
    // The signal arrives while the request for the page waits for its answer.
    LoopbackServer site(SampleSite([&](int page) {
      if (page != kSignalledAt) return;
      while (child.load() <= 0) std::this_thread::yield();
      ::kill(child.load(), c.signal);
    }));
    TempDir dir;
    const auto output = dir / "out.txt";
    testing::ChildProcess process({kBinary, "--headless", "--site", site.site(), "--output", output.string()},
                                  {});
    child = process.pid();
    const ProcessResult result = process.Wait();
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(testing::ReadFileBytes(output), SampleHarvest(2, kSignalledAt));
  }
}

TEST(QinghuaTest, ASecondSignalEndsTheProcessAtOnce) {
  constexpr int kSignalledAt = 10;
  std::atomic<pid_t> child = -1;
  LoopbackServer site(SampleSite([&](int page) {
    if (page != kSignalledAt) return;
    while (child.load() <= 0) std::this_thread::yield();
    ::kill(child.load(), SIGINT);
    // The first signal must be caught before the second one comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(child.load(), SIGINT);
  }));
  TempDir dir;
  const auto output = dir / "out.txt";
  testing::ChildProcess process({kBinary, "--headless", "--site", site.site(), "--output", output.string()},
                                {});
  child = process.pid();
  const ProcessResult result = process.Wait();
  EXPECT_EQ(result.signal, SIGINT) << result.err;
  // The page in progress never reached the file; the pages before it are whole.
  EXPECT_EQ(testing::ReadFileBytes(output), SampleHarvest(2, kSignalledAt - 1));
}

}  // namespace
}  // namespace qh
