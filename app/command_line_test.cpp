#include "app/command_line.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/output_file.h"
#include "app/test_support.h"

namespace qh {
namespace {

using testing::TempDir;

TEST(CommandLineTest, ParsesOptions) {
  struct Case {
    std::vector<std::string> args;
    Command command;
    bool headless = false;
    std::string site = DefaultSite();
    std::filesystem::path output = DefaultOutputPath();
  };
  const std::vector<Case> cases = {
      {{}, Command::kRun},
      {{"--headless"}, Command::kRun, true},
      {{"--site", "example.org"}, Command::kRun, false, "example.org"},
      {{"--site=example.org:81", "--headless"}, Command::kRun, true, "example.org:81"},
      {{"--output", "out.txt"}, Command::kRun, false, DefaultSite(), "out.txt"},
      {{"--output=/tmp/a b.txt"}, Command::kRun, false, DefaultSite(), "/tmp/a b.txt"},
      {{"--site", "a.example", "--site", "b.example"}, Command::kRun, false, "b.example"},
      {{"--help"}, Command::kHelp},
      {{"--headless", "--version"}, Command::kVersion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    EXPECT_EQ(parsed.command, c.command);
    EXPECT_EQ(parsed.error, "");
    if (c.command != Command::kRun) continue;
    EXPECT_EQ(parsed.settings.headless, c.headless);
    EXPECT_EQ(parsed.settings.site, c.site);
    EXPECT_EQ(parsed.settings.output, c.output);
  }
}

TEST(CommandLineTest, RejectsWhatItDoesNotUnderstand) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--verbose"}, "unknown option '--verbose'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--headless=yes"}, "unknown option '--headless=yes'"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"--site"}, "'--site' needs a value"},
      {{"--site="}, "'--site' needs a value"},
      {{"--site", "--headless"}, "'--site' needs a value"},
      {{"--output"}, "'--output' needs a value"},
      {{"--output="}, "'--output' needs a value"},
      {{"--site", "http://example.org"}, "'http://example.org' is not a host"},
      {{"--site", "example.org:0"}, "'example.org:0' is not a host"},
      {{"--site", "example.org/qh"}, "'example.org/qh' is not a host"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    EXPECT_EQ(parsed.command, Command::kUsageError);
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
  }
}

TEST(CommandLineTest, ChecksHostsAndPorts) {
  struct Case {
    std::string site;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1:8080", true},
      {"localhost", true},
      {"www.example-site.cn", true},
      {"a:65535", true},
      {"a:1", true},
      {"[::1]:8080", true},
      {"[2001:db8::1]", true},
      {"", false},
      {":8080", false},
      {"a:", false},
      {"a:65536", false},
      {"a:-1", false},
      {"a:8080x", false},
      {"a b", false},
      {"a..b", false},
      {"-a.b", false},
      {"a-.b", false},
      {"user@host", false},
      {"host:80:81", false},
      {"[::1", false},
      {"[::1]x", false},
      {"[]", false},
      {"[g::1]", false},
      {std::string(64, 'a') + ".b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.site);
    EXPECT_EQ(IsValidSite(c.site), c.valid);
  }
}

class RunCommandLineTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    return RunCommandLine(args, Console{.out = out_, .err = err_, .errIsTerminal = false},
                          [this](const Settings& settings) {
                            windowSettings_.push_back(settings);
                            return 0;
                          });
  }

  std::ostringstream out_;
  std::ostringstream err_;
  std::vector<Settings> windowSettings_;
};

TEST_F(RunCommandLineTest, UsageErrorsExitWithTwoAndDoNothing) {
  TempDir dir;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--headless", "--bogus", "--output", (dir / "out.txt").string()},
           {"--headless", "--site", "bad host", "--output", (dir / "out.txt").string()},
           {"--headless", "--output"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    err_.str("");
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_NE(err_.str().find("qinghua: "), std::string::npos);
    EXPECT_NE(err_.str().find("--help"), std::string::npos) << "points to the help";
  }
  EXPECT_TRUE(out_.str().empty());
  EXPECT_TRUE(windowSettings_.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(RunCommandLineTest, HelpAndVersionPrintAndExitWithZero) {
  EXPECT_EQ(Run({"--help"}), kExitOk);
  EXPECT_NE(out_.str().find("Usage: qinghua [--headless] [--site HOST[:PORT]] [--output FILE]"),
            std::string::npos);
  out_.str("");
  EXPECT_EQ(Run({"--version"}), kExitOk);
  EXPECT_TRUE(std::regex_match(out_.str(), std::regex("qinghua [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << out_.str();
  EXPECT_TRUE(err_.str().empty());
  EXPECT_TRUE(windowSettings_.empty());
}

TEST_F(RunCommandLineTest, WithoutHeadlessTheWindowGetsTheSettings) {
  EXPECT_EQ(Run({"--site", "example.org:81", "--output", "x.txt"}), 0);
  ASSERT_EQ(windowSettings_.size(), 1u);
  EXPECT_EQ(windowSettings_[0].site, "example.org:81");
  EXPECT_EQ(windowSettings_[0].output, "x.txt");
}

// Answers every page with one saying; `during` runs while a page's request is in progress.
PageSource FakePages(std::function<void(int)> during = {}) {
  return [during](const Text& page) {
    const int number = std::stoi(page.str());
    if (during) during(number);
    return ScrapedPage{.text = Text::FromCp936("\r\n" + page.str() + "\r\n"),
                       .sayings = 1,
                       .status = Text::FromCp936("200 OK")};
  };
}

std::string Pages(int from, int to) {
  std::string text;
  for (int page = from; page <= to; ++page) text += "\r\n" + std::to_string(page) + "\r\n";
  return text;
}

int CountOf(const std::string& haystack, const std::string& needle) {
  int count = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++count;
  return count;
}

TEST(RunHeadlessTest, ReportsALinePerHundredPagesAndASummary) {
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  const Settings settings{.headless = true, .site = "127.0.0.1:8080", .output = dir / "out.txt"};
  EXPECT_EQ(RunHeadless(settings, FakePages(), Console{.out = out, .err = err, .errIsTerminal = false}),
            kExitOk);
  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), Pages(2, 1981));
  const std::string log = err.str();
  EXPECT_EQ(CountOf(log, "/1980 pages, "), 19) << log;
  EXPECT_NE(log.find("qinghua: 100/1980 pages, "), std::string::npos) << log;
  EXPECT_EQ(log.find('\r'), std::string::npos) << "no bar when not on a terminal";
  const std::regex summary("qinghua: 1980 pages fetched, 0 failed, 1980 sayings appended, " +
                           std::to_string(Pages(2, 1981).size()) + " bytes written to " +
                           (dir / "out.txt").string() + " in [0-9]+\\.[0-9] s\n$");
  EXPECT_TRUE(std::regex_search(log, summary)) << log;
  EXPECT_TRUE(out.str().empty());
}

TEST(RunHeadlessTest, DrawsALiveBarOnATerminal) {
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  const Settings settings{.headless = true, .site = "127.0.0.1:8080", .output = dir / "out.txt"};
  EXPECT_EQ(RunHeadless(settings, FakePages(), Console{.out = out, .err = err, .errIsTerminal = true}),
            kExitOk);
  const std::string log = err.str();
  EXPECT_NE(log.find("\r[##############################] 1980/1980 pages, "), std::string::npos) << log;
  EXPECT_NE(log.find(" left\033[K\nqinghua: 1980 pages fetched"), std::string::npos) << log;
}

TEST(RunHeadlessTest, AppendFailuresAreEachReportedAndExitWithOne) {
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  const Settings settings{.headless = true, .site = "127.0.0.1:8080", .output = dir.path()};
  EXPECT_EQ(RunHeadless(settings, FakePages(), Console{.out = out, .err = err, .errIsTerminal = false}),
            kExitAppendFailed);
  const std::string log = err.str();
  EXPECT_EQ(CountOf(log, ": Is a directory\n"), 1980) << log;
  EXPECT_NE(log.find("qinghua: page 2 dropped: cannot open " + dir.path().string() + ": Is a directory\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("1980 pages fetched, 1980 failed, 0 sayings appended, 0 bytes written"),
            std::string::npos);
}

TEST(RunHeadlessTest, TheFirstFailedRequestIsShown) {
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  const Settings settings{.headless = true, .site = "127.0.0.1:1", .output = dir / "out.txt"};
  const PageSource failing = [](const Text&) {
    return ScrapedPage{.text = {}, .sayings = 0, .status = Text::FromCp936("712 no answer!")};
  };
  EXPECT_EQ(RunHeadless(settings, failing, Console{.out = out, .err = err, .errIsTerminal = false}), kExitOk);
  const std::string log = err.str();
  EXPECT_EQ(CountOf(log, "request failed"), 1) << log;
  EXPECT_NE(log.find("qinghua: page 2: request failed: 712 no answer!"), std::string::npos) << log;
  EXPECT_NE(log.find("1980 pages fetched, 1980 failed"), std::string::npos) << log;
  EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), "");
}

TEST(RunHeadlessTest, SignalsStopAfterThePageInProgress) {
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  struct Case {
    int signal;
    int exitCode;
    std::string name;
  };
  for (const Case& c : std::vector<Case>{{SIGINT, 130, "SIGINT"}, {SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::ostringstream out;
    std::ostringstream err;
    const Settings settings{.headless = true, .site = "127.0.0.1:8080", .output = dir / "out.txt"};
    const PageSource pages = FakePages([&c](int page) {
      if (page == 5) ::raise(c.signal);
    });
    EXPECT_EQ(RunHeadless(settings, pages, Console{.out = out, .err = err, .errIsTerminal = false}),
              c.exitCode);
    EXPECT_EQ(testing::ReadFileBytes(dir / "out.txt"), Pages(2, 5));
    EXPECT_NE(err.str().find("stopped by " + c.name + " after 4 pages"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("4 pages fetched, 0 failed, 4 sayings appended"), std::string::npos)
        << err.str();
  }
  // The handlers are gone again once the run is over.
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace qh
