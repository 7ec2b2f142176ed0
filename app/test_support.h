// Helpers shared by the application's tests: a loopback HTTP server on a free port, a scratch directory
// removed on scope exit, and a child process whose exit status and stderr can be read.
//   LoopbackServer server([](const httplib::Request&, httplib::Response& res) { res.set_content("x",
//   "text/html"); }); ScrapedPage page = ScrapePage(IntToText(2), TextFromUtf8(server.site()));
#pragma once

#include <httplib.h>
#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qh::testing {

// A real server on 127.0.0.1 and a port of the system's choosing, answering every GET with `handler`;
// stopped and joined on destruction.
class LoopbackServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Returns "127.0.0.1:" and the port.
  std::string site() const;

 private:
  httplib::Server server_;
  int port_ = -1;
  std::atomic<bool> listeningEnded_ = false;
  std::thread thread_;
};

// Returns the page number of a path "/qh/N.html", or nothing.
std::optional<int> PageOfPath(const std::string& path);

// A fresh directory under the system's temporary directory, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Returns path() / name.
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Returns the whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);
// Creates or replaces a file with `bytes`.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// How a child process ended.
struct ProcessResult {
  int exitCode = -1;  // the exit status, or -1 when a signal ended it
  int signal = 0;     // the signal that ended it, or 0
  std::string out;
  std::string err;
};

// A child process started from `argv` with `environment` changes (an empty value unsets the variable).
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment);
  ~ChildProcess();  // kills the child when it is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Returns how the process ended, after reading its output to the end.
  ProcessResult Wait();

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
};

// Returns the result of running `argv` to its end.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment = {});

}  // namespace qh::testing
