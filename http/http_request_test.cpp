// HttpRequest's stages over a fake transport: which stage fails with which text, what the window sees, what
// is closed, and the request the stages are given.
#include "http/http_request.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "http/test_printers.h"
#include "http/transport.h"
#include "text/codepage.h"
#include "text/messages.h"

namespace qh {
namespace {

using namespace std::string_literals;

Text T(std::string_view bytes) {
  return Text::FromCp936(bytes);
}

// Records every stage and every yield in one log, and fails the stage it is told to.
class FakeTransport : public Transport {
 public:
  explicit FakeTransport(std::vector<std::string>& log) : log_(log) {}

  std::string failAt;  // the log name of the stage that fails
  UrlParts parts{.secure = false, .host = T("example.test"), .port = 80, .path = T("/p"), .extra = {}};
  std::vector<std::string> chunks = {"body"};
  bool readFailsAfterChunks = false;
  Text rawHeaders = T("HTTP/1.1 200 OK\r\n\r\n");

  // What the stages were given.
  std::string proxy, host, verb, objectName, headerBlock, body;
  int port = 0;
  bool secure = false;
  std::int32_t timeout = 0;
  std::vector<std::string> credentials;
  bool cookieEngine = false;

  bool CheckPlatform() override { return Stage("CheckPlatform"); }
  std::optional<UrlParts> SplitUrl(const Text&) override {
    if (!Stage("SplitUrl")) return std::nullopt;
    return parts;
  }
  bool OpenSession(const Text& p) override {
    proxy = p.str();
    return Stage("OpenSession");
  }
  bool Connect(const Text& h, int portNumber) override {
    host = h.str();
    port = portNumber;
    return Stage("Connect");
  }
  bool OpenRequest(std::string_view v, const Text& object, bool isSecure) override {
    verb = v;
    objectName = object.str();
    secure = isSecure;
    return Stage("OpenRequest");
  }
  bool SetTimeouts(std::int32_t ms) override {
    timeout = ms;
    return Stage("SetTimeouts");
  }
  bool SetCredentials(AuthTarget target, const Text& user, const Text& password) override {
    const std::string name = target == AuthTarget::kServer ? "ServerCredentials" : "ProxyCredentials";
    credentials.push_back(name + " " + user.str() + ":" + password.str());
    return Stage(name);
  }
  bool SetCookieHandling(bool enabled) override {
    cookieEngine = enabled;
    return Stage("SetCookieHandling");
  }
  bool DisableRedirects() override { return Stage("DisableRedirects"); }
  bool AddHeaders(const Text& block) override {
    headerBlock = block.str();
    return Stage("AddHeaders");
  }
  bool Send(const Bytes& b) override {
    body = b.str();
    return Stage("Send");
  }
  bool ReceiveResponse() override { return Stage("ReceiveResponse"); }
  std::optional<std::int64_t> QueryDataAvailable() override {
    if (next_ < chunks.size()) return static_cast<std::int64_t>(chunks[next_].size());
    return readFailsAfterChunks ? 1 : 0;
  }
  bool ReadData(std::int64_t count, Bytes& out) override {
    if (next_ >= chunks.size()) {
      log_.push_back("ReadData fails");
      return false;
    }
    EXPECT_EQ(count, static_cast<std::int64_t>(chunks[next_].size()));
    out.str() += chunks[next_++];
    return true;
  }
  std::optional<Text> QueryRawHeaders() override {
    if (!Stage("QueryRawHeaders")) return std::nullopt;
    return rawHeaders;
  }
  void Close(Handle handle) override {
    log_.push_back(handle == Handle::kRequest      ? "Close request"
                   : handle == Handle::kConnection ? "Close connection"
                                                   : "Close session");
  }

 private:
  bool Stage(const std::string& name) {
    log_.push_back(name);
    return name != failAt;
  }

  std::vector<std::string>& log_;
  std::size_t next_ = 0;
};

// Every output starts with a value of its own, so that a test sees which ones were written.
struct Outputs {
  Text sendCookies = T("s=1");
  Text receivedCookies;
  Text responseHeaders = T("old headers");
  Text redirectLocation = T("old location");
  Text statusMessage = T("old status");
  Bytes responseBytes{std::string("old bytes")};

  void Supply(HttpRequestArgs& args) {
    args.sendCookies = &sendCookies;
    args.receivedCookies = &receivedCookies;
    args.responseHeaders = &responseHeaders;
    args.redirectLocation = &redirectLocation;
    args.statusMessage = &statusMessage;
    args.responseBytes = &responseBytes;
  }
};

class HttpRequestTest : public testing::Test {
 protected:
  void SetUp() override {
    previousPump_ = InstallMessagePump([this] { log_.push_back("yield"); });
  }
  void TearDown() override { InstallMessagePump(std::move(previousPump_)); }

  // Returns the log without the yields and closes that end it, and counts those yields.
  std::vector<std::string> StagesOf(int& yields) const {
    std::vector<std::string> stages;
    yields = 0;
    for (const std::string& entry : log_) {
      if (entry == "yield") {
        ++yields;
      } else if (!entry.starts_with("Close")) {
        stages.push_back(entry);
      }
    }
    return stages;
  }

  std::vector<std::string> log_;
  FakeTransport transport_{log_};

 private:
  MessagePump previousPump_;
};

const std::vector<std::string> kCloses = {"Close request", "Close connection", "Close session"};

TEST_F(HttpRequestTest, EachFailingStageReportsItsTextYieldsAndClosesInOrder) {
  struct Case {
    std::string stage;
    std::u8string_view message;
    int yields;
  };
  const std::vector<Case> cases = {
      {"CheckPlatform", u8"700 当前系统不支持WinHttp服务!", 0},
      {"SplitUrl", u8"701 解析URL地址失败!", 1},
      {"OpenSession", u8"702 创建WinHttp会话失败!", 2},
      {"Connect", u8"703 创建WinHttp连接失败!", 3},
      {"OpenRequest", u8"704 创建WinHttp请求失败!", 4},
      {"SetTimeouts", u8"705 设置超时时间失败!", 5},
      {"ServerCredentials", u8"706 设置服务器凭证失败!", 0},
      {"ProxyCredentials", u8"707 设置代理凭证失败!", 0},
      {"SetCookieHandling", u8"708 禁止自动设置Cookies失败!", 0},
      {"DisableRedirects", u8"709 重定向设置失败!", 0},
      {"AddHeaders", u8"710 设置协议头失败!", 6},
      {"Send", u8"711 发送请求失败!", 7},
      {"ReceiveResponse", u8"712 服务器未响应!", 8},
  };
  const std::vector<std::string> allStages = {"CheckPlatform",     "SplitUrl",         "OpenSession",
                                              "Connect",           "OpenRequest",      "SetTimeouts",
                                              "ServerCredentials", "ProxyCredentials", "SetCookieHandling",
                                              "DisableRedirects",  "AddHeaders",       "Send",
                                              "ReceiveResponse"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    log_.clear();
    transport_.failAt = c.stage;
    Outputs out;
    HttpRequestArgs args;
    args.noRedirect = true;
    args.userName = T("u");
    args.password = T("p");
    args.proxy = T("proxy:1");
    args.proxyUserName = T("pu");
    args.proxyPassword = T("pp");
    out.Supply(args);

    const Text result = HttpRequest(T("http://example.test/p"), args, transport_);

    EXPECT_TRUE(result.empty());
    EXPECT_EQ(out.statusMessage, TextFromUtf8(c.message));
    // Nothing else is written on a failure.
    EXPECT_EQ(out.sendCookies, T("s=1"));
    EXPECT_TRUE(out.receivedCookies.empty());
    EXPECT_EQ(out.responseHeaders, T("old headers"));
    EXPECT_EQ(out.redirectLocation, T("old location"));
    EXPECT_EQ(out.responseBytes.str(), "old bytes");

    // The stages run in order up to the failing one, then the yields, then the closes.
    std::vector<std::string> expected(allStages.begin(),
                                      std::find(allStages.begin(), allStages.end(), c.stage) + 1);
    expected.insert(expected.end(), c.yields, "yield");
    expected.insert(expected.end(), kCloses.begin(), kCloses.end());
    EXPECT_EQ(log_, expected);
  }
}

TEST_F(HttpRequestTest, CompleteExchangeYieldsPerHeaderLineAfterCharsetAndNineTimesThenCloses) {
  transport_.rawHeaders = T("HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\n");
  Outputs out;
  HttpRequestArgs args;
  out.Supply(args);

  const Text result = HttpRequest(T("http://example.test/p"), args, transport_);

  EXPECT_EQ(result, T("body"));
  EXPECT_EQ(out.statusMessage, T("200 OK"));
  EXPECT_EQ(out.responseBytes.str(), "body");
  EXPECT_EQ(out.responseHeaders, transport_.rawHeaders);
  // Four lines (the empty one before the final CR LF included), one after the charset step, nine on the way
  // out.
  std::vector<std::string> expected(14, "yield");
  expected.insert(expected.begin(), "QueryRawHeaders");
  expected.insert(expected.end(), kCloses.begin(), kCloses.end());
  EXPECT_EQ(std::vector<std::string>(log_.end() - 18, log_.end()), expected);
}

TEST_F(HttpRequestTest, FailedReadKeepsBytesSoFarAndIsReplacedByTheStatusText) {
  transport_.chunks = {"ab", "c\0d"s};
  transport_.readFailsAfterChunks = true;
  Outputs out;
  HttpRequestArgs args;
  out.Supply(args);

  const Text result = HttpRequest(T("http://example.test/p"), args, transport_);

  EXPECT_EQ(result, T("abc"));
  EXPECT_EQ(out.responseBytes.str(), "abc\0d"s);
  EXPECT_EQ(out.statusMessage, T("200 OK"));
}

TEST_F(HttpRequestTest, FailedHeaderQueryLeavesTheReadFailureAndWritesNothingElse) {
  transport_.readFailsAfterChunks = true;
  transport_.failAt = "QueryRawHeaders";
  Outputs out;
  HttpRequestArgs args;
  out.Supply(args);

  const Text result = HttpRequest(T("http://example.test/p"), args, transport_);

  EXPECT_TRUE(result.empty());
  EXPECT_EQ(out.statusMessage, u8"713 读取数据失败!"_text);
  EXPECT_EQ(out.responseHeaders, T("old headers"));
  EXPECT_EQ(out.responseBytes.str(), "old bytes");
  EXPECT_EQ(out.sendCookies, T("s=1"));
  int yields = 0;
  StagesOf(yields);
  EXPECT_EQ(yields, 9);
}

TEST_F(HttpRequestTest, OutputsNotSuppliedAreNotNeeded) {
  transport_.rawHeaders = T("HTTP/1.1 302 Found\r\nSet-Cookie: a=1\r\nLocation: /x\r\n\r\n");
  EXPECT_EQ(HttpRequest(T("http://example.test/p"), {}, transport_), T("body"));
}

TEST_F(HttpRequestTest, HeaderBlockHoldsTheCallersLinesThenTheMissingDefaults) {
  const std::string ua =
      "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
  const std::string accept = "Accept: text/html, application/xhtml+xml, */*\r\n";
  const std::string encoding = "Accept-Encoding: gbk, GB2312\r\n";
  const std::string language = "Accept-Language: zh-cn\r\n";
  const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
  const std::string cache = "Cache-Control: no-cache\r\n";
  const std::string defaults = ua + accept + encoding + language + cache;
  struct Case {
    std::string name;
    HttpMethod method;
    std::string extraHeaders;
    std::optional<std::string> sendCookies;
    std::string block;
  };
  const std::vector<Case> cases = {
      {"defaults only", 0, "", std::nullopt, defaults},
      {"POST adds the form type", 1, "", std::nullopt, ua + accept + encoding + language + form + cache},
      {"POST with its own type", 1, "Content-Type: text/plain", std::nullopt,
       "Content-Type: text/plain\r\n" + defaults},
      {"the type test regards case", 1, "content-type: text/plain", std::nullopt,
       "content-type: text/plain\r\n" + ua + accept + encoding + language + form + cache},
      {"only POST gets the type", 3, "", std::nullopt, defaults},
      {"a user agent in any case", 0, "user-agent: me", std::nullopt,
       "user-agent: me\r\n" + accept + encoding + language + cache},
      {"lines already ended keep an empty line", 0, "X: 1\r\n", std::nullopt, "X: 1\r\n\r\n" + defaults},
      {"cookies go last", 0, "", "a=1; b=2", defaults + "Cookie: a=1; b=2\r\n"},
      {"empty cookies add no line", 0, "", "", defaults},
      {"the cookie test is a substring test", 0, "X-Cookie: 1", "a=1", "X-Cookie: 1\r\n" + defaults},
      {"so is the accept test", 0, "X-Accept: 1", std::nullopt,
       "X-Accept: 1\r\n" + ua + encoding + language + cache},
      {"code-page bytes pass unchanged", 0, "X-Name: \xC7\xE9\xBB\xB0", std::nullopt,
       "X-Name: \xC7\xE9\xBB\xB0\r\n" + defaults},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    Text cookies = c.sendCookies ? T(*c.sendCookies) : Text();
    HttpRequestArgs args;
    args.method = c.method;
    args.extraHeaders = T(c.extraHeaders);
    if (c.sendCookies) args.sendCookies = &cookies;
    HttpRequest(T("http://example.test/p"), args, transport_);
    EXPECT_EQ(transport_.headerBlock, c.block);
    EXPECT_EQ(transport_.cookieEngine, c.sendCookies.has_value());
  }
}

TEST_F(HttpRequestTest, RequestSetUpFromTheArguments) {
  struct Case {
    std::string name;
    void (*setUp)(HttpRequestArgs&);
    UrlParts parts;
    std::string verb;
    std::string objectName;
    std::int32_t timeout;
    std::vector<std::string> credentials;
  };
  const UrlParts plain{.secure = false, .host = T("h"), .port = 80, .path = T("/a/b"), .extra = T("?x=1")};
  const UrlParts bare{.secure = true, .host = T("h"), .port = 443, .path = {}, .extra = {}};
  const UrlParts queryOnly{.secure = false, .host = T("h"), .port = 8080, .path = {}, .extra = T("?x=1")};
  const std::int32_t maxMs = std::numeric_limits<std::int32_t>::max();
  const auto none = [](HttpRequestArgs&) {};
  const std::vector<Case> cases = {
      {"only the URL", none, plain, "GET", "/a/b?x=1", 30000, {}},
      {"POST", [](HttpRequestArgs& a) { a.method = 1; }, plain, "POST", "/a/b?x=1", 30000, {}},
      {"CONNECT", [](HttpRequestArgs& a) { a.method = 7; }, plain, "CONNECT", "/a/b?x=1", 30000, {}},
      {"code 8 is GET", [](HttpRequestArgs& a) { a.method = 8; }, plain, "GET", "/a/b?x=1", 30000, {}},
      {"code -1 is GET", [](HttpRequestArgs& a) { a.method = -1; }, plain, "GET", "/a/b?x=1", 30000, {}},
      {"no path asks for /", none, bare, "GET", "/", 30000, {}},
      {"no path keeps the query", none, queryOnly, "GET", "/?x=1", 30000, {}},
      {"5 s", [](HttpRequestArgs& a) { a.timeoutSeconds = 5; }, plain, "GET", "/a/b?x=1", 5000, {}},
      {"negative means 30 s",
       [](HttpRequestArgs& a) { a.timeoutSeconds = -3; },
       plain,
       "GET",
       "/a/b?x=1",
       30000,
       {}},
      {"the largest exact value",
       [](HttpRequestArgs& a) { a.timeoutSeconds = 2147483; },
       plain,
       "GET",
       "/a/b?x=1",
       2147483000,
       {}},
      {"too large saturates",
       [](HttpRequestArgs& a) { a.timeoutSeconds = 2147484; },
       plain,
       "GET",
       "/a/b?x=1",
       maxMs,
       {}},
      {"largest seconds saturate",
       [](HttpRequestArgs& a) { a.timeoutSeconds = std::numeric_limits<std::int32_t>::max(); },
       plain,
       "GET",
       "/a/b?x=1",
       maxMs,
       {}},
      {"one text of each pair sets nothing",
       [](HttpRequestArgs& a) {
         a.userName = T("u");
         a.proxyPassword = T("pp");
       },
       plain,
       "GET",
       "/a/b?x=1",
       30000,
       {}},
      {"both credentials",
       [](HttpRequestArgs& a) {
         a.userName = T("u");
         a.password = T("p");
         a.proxyUserName = T("pu");
         a.proxyPassword = T("pp");
       },
       plain,
       "GET",
       "/a/b?x=1",
       30000,
       {"ServerCredentials u:p", "ProxyCredentials pu:pp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTransport transport(log_);
    transport.parts = c.parts;
    HttpRequestArgs args;
    c.setUp(args);
    HttpRequest(T("http://h/"), args, transport);
    EXPECT_EQ(transport.verb, c.verb);
    EXPECT_EQ(transport.objectName, c.objectName);
    EXPECT_EQ(transport.secure, c.parts.secure);
    EXPECT_EQ(transport.host, "h");
    EXPECT_EQ(transport.port, c.parts.port);
    EXPECT_EQ(transport.timeout, c.timeout);
    EXPECT_EQ(transport.credentials, c.credentials);
  }
}

TEST_F(HttpRequestTest, ProxyRedirectAndBodyReachTheirStages) {
  HttpRequestArgs args;
  args.postData = T("q=\xC7\xE9");
  args.noRedirect = true;
  args.proxy = T("127.0.0.1:3128");
  HttpRequest(T("http://h/"), args, transport_);
  EXPECT_EQ(transport_.proxy, "127.0.0.1:3128");
  EXPECT_EQ(transport_.body, "q=\xC7\xE9");
  EXPECT_NE(std::find(log_.begin(), log_.end(), "DisableRedirects"), log_.end());

  log_.clear();
  HttpRequest(T("http://h/"), {}, transport_);
  EXPECT_EQ(transport_.proxy, "");
  EXPECT_EQ(transport_.body, "");
  EXPECT_EQ(std::find(log_.begin(), log_.end(), "DisableRedirects"), log_.end());
}

}  // namespace
}  // namespace qh
