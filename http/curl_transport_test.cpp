// HttpRequest over the curl transport against servers on the loopback interface: cpp-httplib for ordinary
// answers, and a raw listener that records the exact request bytes and answers with scripted bytes (or
// garbage, an early close, a stall).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/http_request.h"
#include "http/test_printers.h"
#include "text/codepage.h"
#include "text/messages.h"

namespace qh {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

Text T(std::string_view bytes) {
  return Text::FromCp936(bytes);
}

// Waits until `fd` can be read or has been hung up; false after `limit`.
bool WaitReadable(int fd, std::chrono::milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
}

void SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Reads one request: its head and as many body bytes as its Content-Length names.
std::string ReadRequest(int fd) {
  std::string request;
  char buffer[4096];
  std::size_t wanted = std::string::npos;
  while (request.size() < wanted && WaitReadable(fd, 3s)) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
    const std::size_t headEnd = request.find("\r\n\r\n");
    if (headEnd != std::string::npos && wanted == std::string::npos) {
      std::string head = request.substr(0, headEnd);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::size_t length = head.find("\r\ncontent-length: ");
      wanted = headEnd + 4 + (length == std::string::npos ? 0 : std::stoul(head.substr(length + 18)));
    }
  }
  return request;
}

// A listener on 127.0.0.1 that takes one connection at a time, records the request and hands the
// connection to `script`, which answers (or does not) and returns; the connection is then closed.
class RawServer {
 public:
  using Script = std::function<void(int fd)>;

  explicit RawServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "no loopback listener";
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  // A script that answers with `reply`.
  static Script Reply(std::string reply) {
    return [reply = std::move(reply)](int fd) { SendAll(fd, reply); };
  }
  // A script that answers with `reply` and then keeps the connection open, silent, until the client hangs up.
  static Script ReplyAndStall(std::string reply) {
    return [reply = std::move(reply)](int fd) {
      SendAll(fd, reply);
      char byte;
      while (WaitReadable(fd, 10s) && ::recv(fd, &byte, 1, 0) > 0) {
      }
    };
  }

  std::string Url(std::string_view path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  int port() const { return port_; }
  std::vector<std::string> Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      if (!WaitReadable(listener_, 20ms)) continue;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request = ReadRequest(fd);
      {
        const std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
      }
      script_(fd);
      ::close(fd);
    }
  }

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A cpp-httplib server on 127.0.0.1, its routes set before it starts, stopped and joined on scope exit.
class WebServer {
 public:
  explicit WebServer(const std::function<void(httplib::Server&)>& routes) {
    routes(server_);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;
  ~WebServer() {
    server_.stop();
    thread_.join();
  }

  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  int port() const { return port_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// The caller's variables for every output, each holding a value of its own to begin with.
struct Outputs {
  Text receivedCookies;
  Text responseHeaders = T("old headers");
  Text redirectLocation = T("old location");
  Text statusMessage = T("old status");
  Bytes responseBytes{"old bytes"s};

  HttpRequestArgs Args() {
    HttpRequestArgs args;
    args.receivedCookies = &receivedCookies;
    args.responseHeaders = &responseHeaders;
    args.redirectLocation = &redirectLocation;
    args.statusMessage = &statusMessage;
    args.responseBytes = &responseBytes;
    return args;
  }
};

const std::string kDefaultLines =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n";
const std::string kCacheLine = "Cache-Control: no-cache\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(CurlTransportTest, RequestBytesOnTheWire) {
  struct Case {
    std::string name;
    void (*setUp)(HttpRequestArgs&);
    std::string path;
    // The request with HOST standing for "Host: 127.0.0.1:port\r\n".
    std::string request;
  };
  const std::string host = "HOST";
  const std::vector<Case> cases = {
      {"a plain GET", [](HttpRequestArgs&) {}, "/qh/2.html",
       "GET /qh/2.html HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"POST with the form type",
       [](HttpRequestArgs& a) {
         a.method = 1;
         a.postData = T("a=1&b=2");
       },
       "/form",
       "POST /form HTTP/1.1\r\nHOST" + kDefaultLines + "Content-Type: application/x-www-form-urlencoded\r\n" +
           kCacheLine + "Content-Length: 7\r\n\r\na=1&b=2"},
      {"POST with its own type",
       [](HttpRequestArgs& a) {
         a.method = 1;
         a.postData = T("{}");
         a.extraHeaders = T("Content-Type: application/json");
       },
       "/json",
       "POST /json HTTP/1.1\r\nHOST"
       "Content-Type: application/json\r\n" +
           kDefaultLines + kCacheLine + "Content-Length: 2\r\n\r\n{}"},
      {"POST without a body", [](HttpRequestArgs& a) { a.method = 1; }, "/",
       "POST / HTTP/1.1\r\nHOST" + kDefaultLines + "Content-Type: application/x-www-form-urlencoded\r\n" +
           kCacheLine + "Content-Length: 0\r\n\r\n"},
      {"GET with a body stays a GET", [](HttpRequestArgs& a) { a.postData = T("q"); }, "/",
       "GET / HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "Content-Length: 1\r\n\r\nq"},
      {"PUT",
       [](HttpRequestArgs& a) {
         a.method = 3;
         a.postData = T("x");
       },
       "/r", "PUT /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "Content-Length: 1\r\n\r\nx"},
      {"HEAD", [](HttpRequestArgs& a) { a.method = 2; }, "/r",
       "HEAD /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"HEAD with a body",
       [](HttpRequestArgs& a) {
         a.method = 2;
         a.postData = T("xyz");
       },
       "/r", "HEAD /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "Content-Length: 3\r\n\r\nxyz"},
      {"TRACE", [](HttpRequestArgs& a) { a.method = 6; }, "/r",
       "TRACE /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"DELETE", [](HttpRequestArgs& a) { a.method = 5; }, "/r",
       "DELETE /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"OPTIONS", [](HttpRequestArgs& a) { a.method = 4; }, "/r",
       "OPTIONS /r HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"server credentials",
       [](HttpRequestArgs& a) {
         a.userName = T("u");
         a.password = T("p");
       },
       "/",
       "GET / HTTP/1.1\r\nHOST"
       "Authorization: Basic dTpw\r\n" +
           kDefaultLines + kCacheLine + "\r\n"},
      {"extra lines: repeats replaced, empty lines skipped, empty values and code-page bytes kept",
       [](HttpRequestArgs& a) {
         a.extraHeaders = T("X-A: 1\r\n\r\nX-Empty:\r\nx-a: 2\r\nX-Name:\xC7\xE9\r\n");
       },
       "/",
       "GET / HTTP/1.1\r\nHOST"
       "x-a: 2\r\nX-Empty:\r\nX-Name:\xC7\xE9\r\n" +
           kDefaultLines + kCacheLine + "\r\n"},
      {"cookies to send",
       [](HttpRequestArgs& a) {
         static Text cookies;
         cookies = T("a=1; b=2");
         a.sendCookies = &cookies;
       },
       "/",
       "GET / HTTP/1.1\r\nHOST"
       "Cookie: a=1; b=2\r\n" +
           kDefaultLines + kCacheLine + "\r\n"},
      {"a query is kept, a fragment stays home", [](HttpRequestArgs&) {}, "/a/b?x=1&y=2#part",
       "GET /a/b?x=1&y=2 HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"no path asks for /", [](HttpRequestArgs&) {}, "?x=1",
       "GET /?x=1 HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
      {"a Chinese path goes percent-encoded UTF-8", [](HttpRequestArgs&) {}, "/\xC7\xE9\xBB\xB0.html",
       "GET /%E6%83%85%E8%AF%9D.html HTTP/1.1\r\nHOST" + kDefaultLines + kCacheLine + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawServer server(RawServer::Reply(kOk));
    HttpRequestArgs args;
    c.setUp(args);
    Text status;
    args.statusMessage = &status;
    // A HEAD answer has no body to read.
    EXPECT_EQ(HttpRequest(T(server.Url(c.path)), args), args.method == 2 ? Text() : T("ok"));
    EXPECT_EQ(status, T("200 OK"));
    std::string expected = c.request;
    expected.replace(expected.find(host), host.size(),
                     "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n");
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], expected);
  }
}

TEST(CurlTransportTest, UnsafeHeaderLinesFailWithoutSendingAnything) {
  for (const std::string_view extra :
       {"X-A: 1\rX-B: 2", "X-A: 1\nX-B: 2", "Bad Name: 1", ": 1", "NoColon", " X-Folded: 1", "X(A): 1"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(extra)));
    const RawServer server(RawServer::Reply(kOk));
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.extraHeaders = T(extra);
    EXPECT_TRUE(HttpRequest(T(server.Url()), args).empty());
    EXPECT_EQ(out.statusMessage, u8"710 设置协议头失败!"_text);
    EXPECT_TRUE(server.Requests().empty());
  }
}

TEST(CurlTransportTest, OnlyAbsoluteHttpUrlsAreTaken) {
  const RawServer server(RawServer::Reply(kOk));
  const std::string port = std::to_string(server.port());
  struct Case {
    std::string url;
    bool taken;
  };
  const std::vector<Case> cases = {
      {"", false},
      {"127.0.0.1:" + port + "/", false},
      {"/qh/2.html", false},
      {"ftp://127.0.0.1:" + port + "/", false},
      {"file:///etc/passwd", false},
      {"http://", false},
      {"http://127.0.0.1:" + port + "/a b", false},
      {"http://127.0.0.1:" + port + "/a\tb", false},
      {"http://127.0.0.1:" + port + "/a\x01", false},
      {"http://127.0.0.1:99999/", false},
      {"HTTP://127.0.0.1:" + port + "/upper", true},
      {"http://u:p@127.0.0.1:" + port + "/userinfo", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.url));
    Outputs out;
    const Text body = HttpRequest(T(c.url), out.Args());
    if (c.taken) {
      EXPECT_EQ(body, T("ok"));
      EXPECT_EQ(out.statusMessage, T("200 OK"));
    } else {
      EXPECT_TRUE(body.empty());
      EXPECT_EQ(out.statusMessage, u8"701 解析URL地址失败!"_text);
      EXPECT_EQ(out.responseHeaders, T("old headers"));
      EXPECT_EQ(out.responseBytes.str(), "old bytes");
    }
  }
  EXPECT_EQ(server.Requests().size(), 2u);
}

// Returns a loopback port that nothing listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(CurlTransportTest, TransferFailuresReportTheirStage) {
  const std::u8string_view sendFailed = u8"711 发送请求失败!";
  const std::u8string_view noResponse = u8"712 服务器未响应!";
  struct Case {
    std::string name;
    RawServer::Script script;
    std::u8string_view message;
  };
  const std::vector<Case> cases = {
      {"garbage instead of a head", RawServer::Reply("hello there\r\n\r\n"), noResponse},
      {"closed before the head", RawServer::Reply(""), noResponse},
      {"closed inside the head", RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Le"), noResponse},
      {"no head within the time-out", RawServer::ReplyAndStall(""), noResponse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawServer server(c.script);
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.timeoutSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(HttpRequest(T(server.Url()), args).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(out.statusMessage, TextFromUtf8(c.message));
    EXPECT_EQ(out.responseHeaders, T("old headers"));
  }

  Outputs out;
  EXPECT_TRUE(HttpRequest(T("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"), out.Args()).empty());
  EXPECT_EQ(out.statusMessage, TextFromUtf8(sendFailed));
}

TEST(CurlTransportTest, StalledHeadFailsAfterTheTimeOutNotBefore) {
  const RawServer server(RawServer::ReplyAndStall(""));
  Outputs out;
  HttpRequestArgs args = out.Args();
  args.timeoutSeconds = 1;
  const auto start = std::chrono::steady_clock::now();
  HttpRequest(T(server.Url()), args);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 1s);
  EXPECT_LT(elapsed, 2500ms);
  EXPECT_EQ(out.statusMessage, u8"712 服务器未响应!"_text);
}

TEST(CurlTransportTest, BrokenBodyDeliversTheBytesReadSoFar) {
  struct Case {
    std::string name;
    RawServer::Script script;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
  const std::vector<Case> cases = {
      {"closed early", RawServer::Reply(head + "abc")},
      {"stalled", RawServer::ReplyAndStall(head + "abc")},
      {"bad chunk",
       RawServer::Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawServer server(c.script);
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.timeoutSeconds = 1;
    EXPECT_EQ(HttpRequest(T(server.Url()), args), T("abc"));
    EXPECT_EQ(out.responseBytes.str(), "abc");
    // The head was complete, so its status text replaces the read failure.
    EXPECT_EQ(out.statusMessage, T("200 OK"));
  }
}

TEST(CurlTransportTest, RawHeadersAreTheFinalHeadWithCrLfLines) {
  struct Case {
    std::string name;
    std::string reply;
    std::string headers;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"bare LF line ends", "HTTP/1.1 200 OK\nContent-Length: 2\nX-A: 1\n\nok",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-A: 1\r\n\r\n", "ok"},
      {"an interim answer first",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", "ok"},
      {"chunked trailers stay out",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-Trailer: t\r\n\r\n",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "abc"},
      {"a coded body is never decoded",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\n\x1F\x8Bzz",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\n", "\x1F\x8Bzz"},
      {"an HTTP/1.0 answer", "HTTP/1.0 201 Created\r\n\r\nmade", "HTTP/1.0 201 Created\r\n\r\n", "made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawServer server(RawServer::Reply(c.reply));
    Outputs out;
    EXPECT_EQ(HttpRequest(T(server.Url()), out.Args()).str(), c.body);
    EXPECT_EQ(out.responseHeaders.str(), c.headers);
  }
}

TEST(CurlTransportTest, ProxyGetsTheAbsoluteRequestAndItsCredentials) {
  const RawServer proxy(RawServer::Reply(kOk));
  Outputs out;
  HttpRequestArgs args = out.Args();
  args.proxy = T("127.0.0.1:" + std::to_string(proxy.port()));
  args.proxyUserName = T("pu");
  args.proxyPassword = T("pp");
  EXPECT_EQ(HttpRequest(T("http://site.test/qh/3.html"), args), T("ok"));
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0],
            "GET http://site.test/qh/3.html HTTP/1.1\r\nHost: site.test\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n" +
                kDefaultLines + kCacheLine + "\r\n");
}

TEST(CurlTransportTest, HttpsThroughAProxyAsksForATunnel) {
  const RawServer proxy(RawServer::Reply("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
  Outputs out;
  HttpRequestArgs args = out.Args();
  args.proxy = T("127.0.0.1:" + std::to_string(proxy.port()));
  EXPECT_TRUE(HttpRequest(T("https://site.test/"), args).empty());
  EXPECT_EQ(out.statusMessage, u8"711 发送请求失败!"_text);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_TRUE(proxy.Requests()[0].starts_with("CONNECT site.test:443 HTTP/1.1\r\n")) << proxy.Requests()[0];
}

// Routes for the tests below: redirects, cookies, credentials, bodies.
void SiteRoutes(httplib::Server& server) {
  server.Get("/to", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("arrived", "text/plain");
  });
  server.Get("/from", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/to"); });
  server.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
  server.Get("/to-ftp",
             [](const httplib::Request&, httplib::Response& res) { res.set_redirect("ftp://127.0.0.1/x"); });
  server.Get("/to-file",
             [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/passwd"); });
  server.Get("/set-and-go", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "c=1; Path=/");
    res.set_redirect("/echo-cookie");
  });
  server.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(
        std::to_string(req.get_header_value_count("Cookie")) + " " + req.get_header_value("Cookie"),
        "text/plain");
  });
  server.Get("/cookies", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "a=1; Path=/; HttpOnly");
    res.set_header("Set-Cookie", "b=2");
    res.set_header("Location", "/elsewhere");
    res.status = 201;
    res.set_content("made", "text/plain");
  });
  server.Get("/auth", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content("auth=" + req.get_header_value("Authorization"), "text/plain");
  });
  server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("no such page", "text/plain");
  });
  server.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("server trouble", "text/plain");
  });
  server.Get("/page", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<p>page</p>", "text/html");
  });
  server.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
  server.Get("/zero", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("ab\0cd"s, "application/octet-stream");
  });
  server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
    std::string body(3 << 20, 'x');
    for (std::size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + (i / 4096) % 26);
    res.set_content(body, "text/plain");
  });
  server.Get("/charset", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(req.get_param_value("prefix") + "<meta charset=" + req.get_param_value("name") + ">" +
                        req.get_param_value("text"),
                    "text/html");
  });
}

TEST(CurlTransportTest, RedirectsFollowedOrNotAndNeverToOtherSchemes) {
  const WebServer server(SiteRoutes);
  struct Case {
    std::string path;
    bool noRedirect;
    std::string body;
    std::string status;
    std::string location;  // "old location" when untouched
  };
  const std::vector<Case> cases = {
      {"/from", false, "arrived", "200 OK", "old location"},
      {"/from", true, "", "302 Found", "/to"},
      {"/loop", false, "", "712", "old location"},
      {"/to-ftp", false, "", "712", "old location"},
      {"/to-file", false, "", "712", "old location"},
      {"/to-ftp", true, "", "302 Found", "ftp://127.0.0.1/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << (c.noRedirect ? " not followed" : " followed"));
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.noRedirect = c.noRedirect;
    EXPECT_EQ(HttpRequest(T(server.Url(c.path)), args).str(), c.body);
    if (c.status == "712") {
      EXPECT_EQ(out.statusMessage, u8"712 服务器未响应!"_text);
    } else {
      EXPECT_EQ(out.statusMessage.str(), c.status);
      EXPECT_TRUE(out.responseHeaders.view().starts_with("HTTP/1.1 " + c.status + "\r\n"));
    }
    EXPECT_EQ(out.redirectLocation.str(), c.location);
  }
}

TEST(CurlTransportTest, CookieEngineOnlyWhenCookiesAreSupplied) {
  const WebServer server(SiteRoutes);
  struct Case {
    std::string name;
    std::optional<std::string> sendCookies;
    std::string seen;  // how many Cookie lines /echo-cookie saw, and the first
    std::string received;
  };
  const std::vector<Case> cases = {
      {"none supplied: no engine", std::nullopt, "0 ", ""},
      {"supplied empty: the engine carries the hop's cookie", "", "1 c=1", ""},
      {"supplied: one line with both", "a=1", "1 c=1; a=1", "a=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outputs out;
    HttpRequestArgs args = out.Args();
    Text cookies = T(c.sendCookies.value_or(""));
    if (c.sendCookies) args.sendCookies = &cookies;
    EXPECT_EQ(HttpRequest(T(server.Url("/set-and-go")), args).str(), c.seen);
    // The final answer set no cookie: what comes back is the merge of the sent ones alone.
    EXPECT_EQ(out.receivedCookies.str(), c.received);
  }
}

TEST(CurlTransportTest, StatusCookiesAndLocationOfTheFinalAnswer) {
  const WebServer server(SiteRoutes);
  Outputs out;
  EXPECT_EQ(HttpRequest(T(server.Url("/cookies")), out.Args()), T("made"));
  EXPECT_EQ(out.statusMessage, T("201 Created"));
  EXPECT_EQ(out.receivedCookies, T("a=1; b=2"));
  EXPECT_EQ(out.redirectLocation, T("/elsewhere"));
  EXPECT_TRUE(out.responseHeaders.view().ends_with("\r\n\r\n"));
}

TEST(CurlTransportTest, ServerCredentialsStayWithTheirHost) {
  const WebServer server(SiteRoutes);
  const WebServer other([&](httplib::Server& s) {
    SiteRoutes(s);
    s.Get("/hop", [&](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("http://localhost:" + std::to_string(server.port()) + "/auth");
    });
    s.Get("/same", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/auth"); });
  });
  struct Case {
    std::string path;
    std::string body;
  };
  for (const Case& c :
       std::vector<Case>{{"/auth", "auth=Basic dTpw"}, {"/same", "auth=Basic dTpw"}, {"/hop", "auth="}}) {
    SCOPED_TRACE(c.path);
    HttpRequestArgs args;
    args.userName = T("u");
    args.password = T("p");
    EXPECT_EQ(HttpRequest(T(other.Url(c.path)), args).str(), c.body);
  }
}

TEST(CurlTransportTest, EveryAnswerIsDeliveredWithItsStatus) {
  const WebServer server(SiteRoutes);
  struct Case {
    std::string path;
    HttpMethod method;
    std::string status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"/missing", 0, "404 Not Found", "no such page"},
      {"/broken", 0, "500 Internal Server Error", "server trouble"},
      {"/page", 2, "200 OK", ""},
      {"/empty", 0, "204 No Content", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.method = c.method;
    args.timeoutSeconds = 2;
    EXPECT_EQ(HttpRequest(T(server.Url(c.path)), args).str(), c.body);
    EXPECT_EQ(out.statusMessage.str(), c.status);
    EXPECT_EQ(out.responseBytes.str(), c.body);
  }
}

TEST(CurlTransportTest, BodyBytesArriveWhole) {
  const WebServer server(SiteRoutes);
  Outputs out;
  EXPECT_EQ(HttpRequest(T(server.Url("/zero")), out.Args()), T("ab"));
  EXPECT_EQ(out.responseBytes.str(), "ab\0cd"s);

  const Text big = HttpRequest(T(server.Url("/big")), out.Args());
  ASSERT_EQ(big.size(), std::size_t{3} << 20);
  EXPECT_EQ(big.view(), out.responseBytes.view());
  EXPECT_EQ(big.view().substr(4096 * 27, 2), "bx");
}

TEST(CurlTransportTest, PagesAreReDecodedFromTheCharsetTheyDeclare) {
  const WebServer server(SiteRoutes);
  struct Case {
    std::string name;
    std::string charset;
    std::string text;  // percent-encoded bytes of the page's text
    std::string decoded;
    std::string prefix = "";
  };
  const std::vector<Case> cases = {
      {"utf-8", "utf-8", "%E6%83%85%E8%AF%9D", "\xC7\xE9\xBB\xB0"},
      {"big5", "big5", "%B1%A1%B8%DC", "\xC7\xE9\xD4\x92"},
      {"GBK", "GBK", "%C7%E9%81", "\xC7\xE9?"},
      {"gb2312 stays", "gb2312", "%C7%E9%81", "\xC7\xE9\x81"},
      {"unknown stays", "x-none", "%E6%83%85", "\xE6\x83\x85"},
      {"after byte 1024 stays", "utf-8", "%E6%83%85", "\xE6\x83\x85", std::string(1030, 'p')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string url =
        server.Url("/charset?name=" + c.charset + "&text=" + c.text + "&prefix=" + c.prefix);
    EXPECT_EQ(HttpRequest(T(url), {}).str(), c.prefix + "<meta charset=" + c.charset + ">" + c.decoded);
  }
}

TEST(CurlTransportTest, LargeBodyGoesOutWholeWithoutWaitingForContinue) {
  const RawServer server(RawServer::Reply(kOk));
  std::string body(2 << 20, 'b');
  body.back() = 'e';
  HttpRequestArgs args;
  args.method = 1;
  args.postData = T(body);
  EXPECT_EQ(HttpRequest(T(server.Url()), args), T("ok"));
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string request = server.Requests()[0];
  EXPECT_EQ(request.find("Expect:"), std::string::npos);
  EXPECT_TRUE(request.ends_with("\r\n\r\n" + body));
}

TEST(CurlTransportTest, RequestMadeWhileAnotherYieldsIsIndependent) {
  const WebServer server(SiteRoutes);
  Text inner;
  bool nested = false;
  MessagePump previous = InstallMessagePump([&] {
    if (std::exchange(nested, true)) return;
    inner = HttpRequest(T(server.Url("/to")));
  });
  Outputs out;
  const Text outer = HttpRequest(T(server.Url("/cookies")), out.Args());
  InstallMessagePump(std::move(previous));
  EXPECT_EQ(outer, T("made"));
  EXPECT_EQ(out.receivedCookies, T("a=1; b=2"));
  EXPECT_EQ(inner, T("arrived"));
}

TEST(CurlTransportTest, HeadAnswerEndsWithItsHead) {
  // The server announces a length but, as a HEAD answer does, sends no body and keeps the connection.
  for (const std::string_view body : {"", "xyz"}) {
    SCOPED_TRACE(testing::Message() << "request body '" << body << "'");
    const RawServer server(RawServer::ReplyAndStall("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"));
    Outputs out;
    HttpRequestArgs args = out.Args();
    args.method = 2;
    args.postData = T(body);
    args.timeoutSeconds = 10;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(HttpRequest(T(server.Url()), args).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(out.statusMessage, T("200 OK"));
    EXPECT_EQ(out.responseBytes.str(), "");
  }
}

}  // namespace
}  // namespace qh
