// sample-site [--host ADDRESS] [--port PORT]: serves the sample content site until SIGINT or SIGTERM.
// Port 0 picks a free one; the line printed at start names the address actually used.
#include <httplib.h>
#include <netinet/tcp.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "tools/sample-site/sample_site.h"

namespace {

int Usage(const char* problem) {
  std::fprintf(stderr, "sample-site: %s\nUsage: sample-site [--host ADDRESS] [--port PORT]\n", problem);
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string host = "127.0.0.1";
  int port = 8080;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--host" || arg == "--port") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--host") {
        host = value;
        continue;
      }
      char* end = nullptr;
      const long parsed = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || parsed < 0 || parsed > 65535) return Usage("bad port");
      port = static_cast<int>(parsed);
    } else if (arg == "--help") {
      std::printf("Usage: sample-site [--host ADDRESS] [--port PORT]\n");
      return 0;
    } else {
      return Usage(("unknown argument " + std::string(arg)).c_str());
    }
  }

  // The signals are taken by sigwait below, not by a handler, so that stopping the server is safe.
  // An interrupt that was ignored at start (a site run in the background of a script) stays ignored.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  struct sigaction interrupt {};
  sigaction(SIGINT, nullptr, &interrupt);
  if (interrupt.sa_handler != SIG_IGN) sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  // Accepted sockets inherit these from the listening one. Without TCP_NODELAY a client that reuses its
  // connection waits out the delayed acknowledgement on every response, whose head and body go out apart.
  server.set_socket_options([](socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  });
  server.Get(R"(/.*)", [](const httplib::Request& req, httplib::Response& res) {
    if (const auto body = qh::sample::Serve(req.path)) {
      res.set_content(body->str(), "text/html; charset=gb2312");
    } else {
      res.status = 404;
      res.set_content("<html><body>404</body></html>\n", "text/html");
    }
  });
  const int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) {
    std::fprintf(stderr, "sample-site: cannot listen on %s:%d\n", host.c_str(), port);
    return 1;
  }
  std::atomic<bool> listeningEnded = false;
  std::thread listener([&] {
    server.listen_after_bind();
    listeningEnded = true;
  });
  std::printf("sample-site: serving http://%s:%d/qh/%d.html to /qh/%d.html\n", host.c_str(), bound,
              qh::sample::kFirstPage, qh::sample::kLastPage);
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  // stop() does nothing before the accept loop runs, so wait for it to have started (or ended).
  while (!server.is_running() && !listeningEnded) std::this_thread::yield();
  server.stop();
  listener.join();
  return 0;
}
