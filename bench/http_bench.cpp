// Requests per second of HttpRequest against a cpp-httplib server on the loopback interface. Every request
// opens a new connection, as every call of the scraper does.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <string>
#include <thread>

#include "http/cookies.h"
#include "http/http_request.h"
#include "text/codepage.h"

namespace {

using qh::Text;

// A page shaped like the site's: sayings in <p> elements, code page 936 bytes, `size` bytes in all.
std::string Page(std::size_t size, std::string_view charset) {
  std::string page =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + std::string(charset) +
      "\"></head><body>";
  const std::string saying =
      charset == "utf-8" ? "<a><p>\xE6\x83\x85\xE8\xAF\x9D</p></a>\n" : "<a><p>\xC7\xE9\xBB\xB0</p></a>\n";
  while (page.size() < size) page += saying;
  return page + "</body></html>";
}

class Site {
 public:
  Site() {
    server_.Get(R"(/gbk/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Page(std::stoul(req.matches[1]), "gbk"), "text/html");
    });
    server_.Get(R"(/utf8/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Page(std::stoul(req.matches[1]), "utf-8"), "text/html");
    });
    server_.Get("/cookies", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "session=abc123; Path=/; HttpOnly");
      res.set_header("Set-Cookie", "seen=1");
      res.set_content(Page(16 << 10, "gbk"), "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Site() {
    server_.stop();
    thread_.join();
  }
  Text Url(const std::string& path) const {
    return Text::FromCp936("http://127.0.0.1:" + std::to_string(port_) + path);
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

Site& TheSite() {
  static Site site;
  return site;
}

// The scraper's call: the URL alone.
void BM_HttpRequestGbkPage(benchmark::State& state) {
  const Text url = TheSite().Url("/gbk/" + std::to_string(state.range(0)));
  for (auto _ : state) {
    Text body = qh::HttpRequest(url);
    if (body.empty()) state.SkipWithError("empty body");
    benchmark::DoNotOptimize(body);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HttpRequestGbkPage)->Arg(1 << 10)->Arg(32 << 10)->Arg(1 << 20)->UseRealTime();

// A page declaring UTF-8: re-decoded on every request.
void BM_HttpRequestUtf8Page(benchmark::State& state) {
  const Text url = TheSite().Url("/utf8/" + std::to_string(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(qh::HttpRequest(url));
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HttpRequestUtf8Page)->Arg(32 << 10)->Arg(1 << 20)->UseRealTime();

// Every output supplied, cookies sent and merged.
void BM_HttpRequestAllOutputs(benchmark::State& state) {
  const Text url = TheSite().Url("/cookies");
  for (auto _ : state) {
    Text sendCookies = Text::FromCp936("session=old; lang=zh"), received, headers, location, status;
    qh::Bytes bytes;
    qh::HttpRequestArgs args;
    args.sendCookies = &sendCookies;
    args.receivedCookies = &received;
    args.responseHeaders = &headers;
    args.redirectLocation = &location;
    args.statusMessage = &status;
    args.responseBytes = &bytes;
    benchmark::DoNotOptimize(qh::HttpRequest(url, args));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpRequestAllOutputs)->UseRealTime();

void BM_MergeCookies(benchmark::State& state) {
  const Text sent = Text::FromCp936("a=1; b=2; c=3; d=4; e=5; f=6; g=7; h=8");
  const Text received = Text::FromCp936("c=9; i=deleted; j=10; a=deleted");
  for (auto _ : state) {
    Text s = sent, r = received;
    benchmark::DoNotOptimize(qh::MergeCookies(s, r));
  }
}
BENCHMARK(BM_MergeCookies);

}  // namespace

BENCHMARK_MAIN();
