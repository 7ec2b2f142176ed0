// Times a whole headless harvest of the sample site against curl fetching the same 1980 URLs in one process
// (connections reused), alternating the two, and curl once more with a new connection per page; prints both
// medians, their ratio and the harvest's peak memory, also when appending to an output file that already
// holds 300 MB.
//   harvest_bench [ROUNDS]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Outcome {
  int status = -1;
  double seconds = 0;
  long peakKiB = 0;
};

// Runs `argv` with stdout and stderr sent to `log` and waits for it; returns its exit status, wall time and
// peak resident memory.
Outcome Run(const std::vector<std::string>& argv, const std::string& log) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const auto start = Clock::now();
  pid_t pid = 0;
  Outcome out;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    out.peakKiB = usage.ru_maxrss;
  }
  out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return out;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string LastLine(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

// The sample site on a free port, stopped on scope exit.
class SampleSite {
 public:
  SampleSite() {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* args[] = {const_cast<char*>(SAMPLE_SITE_BINARY), const_cast<char*>("--port"),
                    const_cast<char*>("0"), nullptr};
    if (posix_spawn(&pid_, SAMPLE_SITE_BINARY, &actions, nullptr, args, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    // "sample-site: serving http://HOST:PORT/qh/..."
    const auto begin = line.find("http://");
    if (begin != std::string::npos) {
      const auto end = line.find('/', begin + 7);
      address_ = line.substr(begin + 7, end - begin - 7);
    }
  }
  ~SampleSite() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

}  // namespace

int main(int argc, char* argv[]) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const SampleSite site;
  if (site.address().empty()) {
    std::fprintf(stderr, "harvest_bench: the sample site did not start\n");
    return 1;
  }
  const fs::path scratch = fs::temp_directory_path() / ("qh-harvest-bench-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  const std::string output = (scratch / "out.txt").string();
  const std::string log = (scratch / "log.txt").string();
  const std::vector<std::string> harvest = {QINGHUA_BINARY, "--headless", "--site",
                                            site.address(), "--output",   output};
  const std::vector<std::string> curl = {"curl", "-s", "-o", "/dev/null",
                                         "http://" + site.address() + "/qh/[2-1981].html"};
  // The floor for a client that opens one connection per page, as the tool must.
  const std::vector<std::string> curlClose = {"curl",
                                              "-s",
                                              "-o",
                                              "/dev/null",
                                              "-H",
                                              "Connection: close",
                                              "http://" + site.address() + "/qh/[2-1981].html"};

  std::vector<double> ours, theirs, floor;
  long peakKiB = 0;
  std::uintmax_t fileBytes = 0;
  std::string summary;
  for (int i = 0; i < rounds; ++i) {
    fs::remove(output);
    const Outcome a = Run(harvest, log);
    if (a.status != 0) {
      std::fprintf(stderr, "harvest_bench: qinghua exited with %d: %s\n", a.status, LastLine(log).c_str());
      return 1;
    }
    summary = LastLine(log);
    fileBytes = fs::file_size(output);
    ours.push_back(a.seconds);
    peakKiB = std::max(peakKiB, a.peakKiB);
    const Outcome b = Run(curl, log);
    if (b.status != 0) {
      std::fprintf(stderr, "harvest_bench: curl exited with %d\n", b.status);
      return 1;
    }
    theirs.push_back(b.seconds);
    floor.push_back(Run(curlClose, log).seconds);
  }

  // The same harvest appending behind 300 MB: memory must not grow with the file.
  {
    std::ofstream(output, std::ios::trunc).close();
    fs::resize_file(output, 300u << 20);
  }
  const Outcome big = Run(harvest, log);
  fs::remove_all(scratch);

  const double a = Median(ours), b = Median(theirs);
  std::printf(
      "harvest of 1980 pages, median of %d: qinghua %.3f s, curl %.3f s, ratio %.2f (target <= 1.5)\n",
      rounds, a, b, a / b);
  std::printf("curl with a new connection per page: %.3f s, ratio %.2f\n", Median(floor), Median(floor) / b);
  std::printf("qinghua: %s; file %ju bytes\n", summary.c_str(), fileBytes);
  std::printf("peak memory: %.1f MB into a new file, %.1f MB behind 300 MB (target: flat, < 40 MB)\n",
              peakKiB / 1024.0, big.peakKiB / 1024.0);
  return big.status == 0 ? 0 : 1;
}
