#include "app/command_line.h"

#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "app/console_report.h"
#include "app/output_file.h"
#include "app/stop_signals.h"
#include "text/codepage.h"

namespace qh {
namespace {

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A host name as DNS allows it: dot-separated labels of letters, digits and inner hyphens.
bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  while (true) {
    const std::size_t dot = host.find('.');
    const std::string_view label = host.substr(0, dot);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!IsAsciiAlnum(c) && c != '-') return false;
    }
    if (dot == std::string_view::npos) return true;
    host.remove_prefix(dot + 1);
  }
}

// The inside of "[...]": hex digits and colons, with dots for an embedded IPv4 tail.
bool IsIpv6Literal(std::string_view address) {
  if (address.find(':') == std::string_view::npos || address.size() > 45) return false;
  for (char c : address) {
    if (!IsHexDigit(c) && c != ':' && c != '.') return false;
  }
  return true;
}

bool IsPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  return error == std::errc() && end == port.data() + port.size() && value >= 1 && value <= 65535;
}

ParsedCommandLine UsageError(std::string error) {
  return {.command = Command::kUsageError, .settings = {}, .error = std::move(error)};
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "a signal";
  }
}

}  // namespace

std::string DefaultSite() {
  return QINGHUA_DEFAULT_SITE;
}

bool IsValidSite(std::string_view site) {
  std::string_view host = site;
  std::optional<std::string_view> port;
  if (site.starts_with('[')) {
    const std::size_t close = site.find(']');
    if (close == std::string_view::npos || !IsIpv6Literal(site.substr(1, close - 1))) return false;
    const std::string_view rest = site.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
    }
    return !port || IsPort(*port);
  }
  if (const std::size_t colon = site.find(':'); colon != std::string_view::npos) {
    host = site.substr(0, colon);
    port = site.substr(colon + 1);
  }
  return IsHostName(host) && (!port || IsPort(*port));
}

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
  ParsedCommandLine parsed;
  parsed.settings.site = DefaultSite();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") return {.command = Command::kHelp, .settings = {}, .error = {}};
    if (arg == "--version") return {.command = Command::kVersion, .settings = {}, .error = {}};
    if (arg == "--headless") {
      parsed.settings.headless = true;
      continue;
    }

    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (name != "--site" && name != "--output") {
      if (arg.starts_with('-')) return UsageError("unknown option '" + std::string(arg) + "'");
      return UsageError("unexpected argument '" + std::string(arg) + "'");
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
      value = args[++i];
    }
    if (name == "--site") {
      if (value.empty()) return UsageError("option '--site' needs a value: --site HOST[:PORT]");
      if (!IsValidSite(value)) {
        return UsageError("'" + std::string(value) + "' is not a host with an optional port (HOST[:PORT])");
      }
      parsed.settings.site = value;
    } else {
      if (value.empty()) return UsageError("option '--output' needs a value: --output FILE");
      parsed.settings.output = std::filesystem::path(value);
    }
  }
  if (parsed.settings.output.empty()) parsed.settings.output = DefaultOutputPath();
  return parsed;
}

std::string UsageText() {
  return "Usage: qinghua [--headless] [--site HOST[:PORT]] [--output FILE] [--help] [--version]\n"
         "Harvests the sayings of pages 2 to 1981 of a content site and appends them to a file.\n"
         "\n"
         "  --headless          one run without a window, with progress on stderr\n"
         "  --site HOST[:PORT]  the site to harvest (default: " +
         DefaultSite() +
         ")\n"
         "  --output FILE       the file to append to (default: " +
         DefaultOutputPath().string() +
         ")\n"
         "  --help              show this text and exit\n"
         "  --version           show the version and exit\n"
         "\n"
         "Exit codes: 0 every page's text appended, 1 some page's text could not be appended,\n"
         "2 usage error, 130 or 143 stopped by SIGINT or SIGTERM, 255 no display for the window.\n";
}

int RunHeadless(const Settings& settings, const PageSource& pages, const Console& console) {
  StopSignals signals;
  ConsoleReport report(console.err, console.errIsTerminal, [&signals] { return signals.Caught() != 0; });
  report.PrintLine("harvesting pages " + std::to_string(kFirstPage) + " to " + std::to_string(kLastPage) +
                   " of http://" + settings.site + "/qh/ into " + settings.output.string());
  const RunSummary summary = ScrapeRun(pages, settings.output, report);
  if (summary.stopped) {
    report.PrintLine(std::string("stopped by ") + SignalName(signals.Caught()) + " after " +
                     std::to_string(summary.pagesDone) + " pages; the file ends with the last of them");
  }
  report.Finish(summary, settings.output);
  if (summary.stopped) return 128 + signals.Caught();
  return summary.ok() ? kExitOk : kExitAppendFailed;
}

int RunCommandLine(std::span<const std::string> args, const Console& console, const WindowRunner& runWindow) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  switch (parsed.command) {
    case Command::kHelp:
      console.out << UsageText();
      return kExitOk;
    case Command::kVersion:
      console.out << "qinghua " << QINGHUA_VERSION << '\n';
      return kExitOk;
    case Command::kUsageError:
      console.err << "qinghua: " << parsed.error << "\nTry 'qinghua --help' for more information.\n";
      return kExitUsage;
    case Command::kRun:
      break;
  }
  if (!parsed.settings.headless) return runWindow(parsed.settings);
  return RunHeadless(parsed.settings, SitePages(TextFromUtf8(parsed.settings.site)), console);
}

int RunCommandLine(int argc, char* argv[], const WindowRunner& runWindow) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return RunCommandLine(args, Console{.out = std::cout, .err = std::cerr, .errIsTerminal = isatty(2) == 1},
                        runWindow);
}

}  // namespace qh
