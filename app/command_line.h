// The program's command line: `qinghua [--headless] [--site HOST[:PORT]] [--output FILE] [--help]
// [--version]`. Without --headless it hands over to the window; with it, one run reports on stderr.
//   int main(int argc, char* argv[]) { return qh::RunCommandLine(argc, argv, qh::RunWindow); }
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "app/scrape_run.h"

namespace qh {

inline constexpr int kExitOk = 0;
inline constexpr int kExitAppendFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDisplay = 255;

// What a run is told by its command line.
struct Settings {
  bool headless = false;
  std::string site;              // HOST[:PORT], checked
  std::filesystem::path output;  // the file to append to
};

enum class Command { kRun, kHelp, kVersion, kUsageError };

struct ParsedCommandLine {
  Command command = Command::kRun;
  Settings settings;
  std::string error;  // for kUsageError: what is wrong, in one line
};

// Returns the host the tool harvests when no --site is given.
std::string DefaultSite();

// Returns whether `site` is a host name, an IPv4 address or a bracketed IPv6 address, optionally followed
// by ":" and a port from 1 to 65535.
bool IsValidSite(std::string_view site);

// Returns the command and settings that `args` (the program name left out) ask for.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

// Returns the usage text printed for --help.
std::string UsageText();

// Where the program talks to its user.
struct Console {
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;  // draw a live progress bar rather than a line per 100 pages
};

// Runs the window with the given settings and returns the process exit code.
using WindowRunner = std::function<int(const Settings&)>;

// Returns the exit code of one headless run over `pages` into settings.output: 0 when every page's text
// was appended, 1 when some append failed, 130 or 143 when SIGINT or SIGTERM stopped it.
int RunHeadless(const Settings& settings, const PageSource& pages, const Console& console);

// Returns the exit code of the program run with `args` (the program name left out).
int RunCommandLine(std::span<const std::string> args, const Console& console, const WindowRunner& runWindow);
// Returns the exit code of the program run with the process's own arguments and standard streams.
int RunCommandLine(int argc, char* argv[], const WindowRunner& runWindow);

}  // namespace qh
