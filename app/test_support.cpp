#include "app/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace qh::testing {

LoopbackServer::LoopbackServer(Handler handler) {
  server_.Get(R"(/.*)", [handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
    handler(req, res);
  });
  // The socket listens from here on, so requests made before the thread runs simply queue.
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ < 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] {
    server_.listen_after_bind();
    listeningEnded_ = true;
  });
}

LoopbackServer::~LoopbackServer() {
  // stop() does nothing until the accept loop runs, so wait for it to have started.
  while (!server_.is_running() && !listeningEnded_) std::this_thread::yield();
  server_.stop();
  thread_.join();
}

std::string LoopbackServer::site() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::optional<int> PageOfPath(const std::string& path) {
  int page = 0;
  char rest[8] = {};
  if (std::sscanf(path.c_str(), "/qh/%d%7s", &page, rest) != 2 || std::string(rest) != ".html") return {};
  return page;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qinghua-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests take permissions away; give them back so that everything can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view item(*entry);
    if (!environment.contains(std::string(item.substr(0, item.find('='))))) env.emplace_back(item);
  }
  for (const auto& [name, value] : environment) {
    if (!value.empty()) env.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& item : env) envp.push_back(item.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);

  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int spawned = ::posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  if (spawned != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv.front());
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

ProcessResult ChildProcess::Wait() {
  ProcessResult result;
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment) {
  ChildProcess child(argv, environment);
  return child.Wait();
}

}  // namespace qh::testing
