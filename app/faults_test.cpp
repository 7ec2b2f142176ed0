// The built qinghua executable against a loopback server that misbehaves on purpose: refused connections,
// a page that never answers, a connection closed half-way, garbage instead of HTTP, a redirect to a local
// file, the process killed mid-run, an output file that stops growing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/test_support.h"
#include "tools/sample-site/sample_site.h"

namespace qh {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

const std::string kBinary = QINGHUA_BINARY;

void SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string Reply(std::string_view status, std::string_view extraHeaders, std::string_view body) {
  return "HTTP/1.1 " + std::string(status) + "\r\nContent-Type: text/html\r\nConnection: close\r\n" +
         std::string(extraHeaders) + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         std::string(body);
}

// A server on 127.0.0.1 that reads each request head itself and lets `answer` write whatever it likes on
// the raw connection; every connection has a thread of its own, so one that stalls holds up no other.
// Stopped and joined on scope exit.
class RawServer {
 public:
  // Called with the page number of the request ("/qh/N.html", else 0), the connection and a stop flag.
  using Answer = std::function<void(int page, int fd, const std::atomic<bool>& stopping)>;

  explicit RawServer(Answer answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      ADD_FAILURE() << "cannot listen";
      return;
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~RawServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : connections_) t.join();
    ::close(listener_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  std::string site() const { return "127.0.0.1:" + std::to_string(port_); }

  // Waits until the peer closes the connection or the server stops, sending nothing.
  static void Stall(int fd, const std::atomic<bool>& stopping) {
    char buffer[256];
    while (!stopping) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
  }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      connections_.emplace_back([this, fd] {
        Serve(fd);
        ::close(fd);
      });
    }
  }

  void Serve(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t path = head.find(' ') + 1;
    const std::optional<int> page = testing::PageOfPath(head.substr(path, head.find(' ', path) - path));
    answer_(page.value_or(0), fd, stopping_);
  }

  Answer answer_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_ = false;
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor thread only, until it is joined
};

void ServeSamplePage(int page, int fd) {
  if (const std::optional<Text> body = sample::Serve("/qh/" + std::to_string(page) + ".html")) {
    SendAll(fd, Reply("200 OK", "", body->str()));
  } else {
    SendAll(fd, Reply("404 Not Found", "", ""));
  }
}

// What the file holds after the given pages' sayings were appended.
std::string PageText(const std::vector<Text>& sayings) {
  std::string text = "\r\n";
  for (const Text& saying : sayings) text += saying.str() + "\r\n";
  return text;
}

std::string SampleHarvest(int from, int to) {
  std::string text;
  for (int page = from; page <= to; ++page) text += PageText(sample::Sayings(page));
  return text;
}

TEST(FaultsTest, EveryConnectionRefused) {
  // A port that was free a moment ago and has no listener now.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &length);
  ::close(probe);

  TempDir dir;
  const auto output = dir / "out.txt";
  const ProcessResult result =
      RunProcess({kBinary, "--headless", "--site", "127.0.0.1:" + std::to_string(ntohs(addr.sin_port)),
                  "--output", output.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(testing::ReadFileBytes(output), std::string()) << "created, and empty";
  EXPECT_NE(result.err.find("1980 failed"), std::string::npos) << result.err;
}

TEST(FaultsTest, BrokenPagesEndAloneAndTheRunGoesOn) {
  constexpr int kStalls = 5, kClosesHalfWay = 6, kGarbage = 7, kRedirectsToFile = 8;
  // Page 6 is cut after the line of its second saying, the head having promised the whole page.
  const std::string page6 = sample::PageHtml(kClosesHalfWay).str();
  const std::vector<Text> sayings6 = sample::Sayings(kClosesHalfWay);
  ASSERT_GE(sayings6.size(), 3u);
  const std::size_t cut = page6.find('\n', page6.find(sayings6[1].str())) + 1;

  RawServer server([&](int page, int fd, const std::atomic<bool>& stopping) {
    switch (page) {
      case kStalls:
        return RawServer::Stall(fd, stopping);
      case kClosesHalfWay: {
        const std::string whole = Reply("200 OK", "", page6);
        return SendAll(fd, whole.substr(0, whole.size() - (page6.size() - cut)));
      }
      case kGarbage:
        return SendAll(fd, "\x16\x03\x01 this is no HTTP\r\n\r\n<p>x</p></a>\n<p>y</p></a>\n");
      case kRedirectsToFile:
        return SendAll(fd, Reply("302 Found", "Location: file:///etc/passwd\r\n", "<p>moved</p></a>\n"));
      default:
        return ServeSamplePage(page, fd);
    }
  });
  TempDir dir;
  const auto output = dir / "out.txt";
  const ProcessResult result =
      RunProcess({kBinary, "--headless", "--site", server.site(), "--output", output.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::string expected = SampleHarvest(2, kStalls - 1) + PageText({sayings6[0], sayings6[1]}) +
                               SampleHarvest(kRedirectsToFile + 1, 1981);
  const std::optional<std::string> file = testing::ReadFileBytes(output);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->size(), expected.size());
  EXPECT_TRUE(*file == expected);
  EXPECT_EQ(file->find("root:"), std::string::npos) << "the local file was read";
}

TEST(FaultsTest, KilledMidRunLeavesWholePages) {
  constexpr int kKilledAt = 40;
  std::atomic<pid_t> child = -1;
  RawServer server([&](int page, int fd, const std::atomic<bool>& stopping) {
    if (page != kKilledAt) return ServeSamplePage(page, fd);
    while (child.load() <= 0) std::this_thread::yield();
    ::kill(child.load(), SIGKILL);
    RawServer::Stall(fd, stopping);
  });
  TempDir dir;
  const auto output = dir / "out.txt";
  testing::ChildProcess process({kBinary, "--headless", "--site", server.site(), "--output", output.string()},
                                {});
  child = process.pid();
  const ProcessResult result = process.Wait();
  EXPECT_EQ(result.signal, SIGKILL);
  EXPECT_EQ(testing::ReadFileBytes(output), SampleHarvest(2, kKilledAt - 1));
}

TEST(FaultsTest, OutputThatStopsGrowingKeepsWhatItHeld) {
  // A file size limit (8 blocks, 8 KB at most) makes appends fail once the file would outgrow it, as a full
  // disk does, for root as well; the shell ignores the limit's signal, so the tool sees the write fail.
  RawServer server([](int page, int fd, const std::atomic<bool>&) { ServeSamplePage(page, fd); });
  TempDir dir;
  const auto output = dir / "out.txt";
  const std::string before = "what an earlier run left\r\n";
  testing::WriteFileBytes(output, before);
  const ProcessResult result = RunProcess(
      {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" --headless --site \"$1\" --output \"$2\"",
       kBinary, server.site(), output.string()});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.err.find(output.string()), std::string::npos) << result.err;
  const std::optional<std::string> file = testing::ReadFileBytes(output);
  ASSERT_TRUE(file.has_value());
  EXPECT_LE(file->size(), 8192u);
  EXPECT_EQ(file->substr(0, before.size()), before);
  // What follows is whole pages, in order, each page at most once.
  std::size_t at = before.size();
  for (int page = 2; page <= 1981 && at < file->size(); ++page) {
    const std::string text = PageText(sample::Sayings(page));
    if (file->compare(at, text.size(), text) == 0) at += text.size();
  }
  EXPECT_EQ(at, file->size()) << "the file ends on a whole page";
}

}  // namespace
}  // namespace qh
