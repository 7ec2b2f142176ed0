#include "http/http_request.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "http/response.h"
#include "http/transport.h"
#include "text/codepage.h"
#include "text/messages.h"

namespace qh {
namespace {

std::string_view VerbOf(HttpMethod method) {
  static constexpr std::array<std::string_view, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                             "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return method >= 0 && method < static_cast<HttpMethod>(kVerbs.size()) ? kVerbs[method] : "GET";
}

// Returns the time-out in milliseconds; a value too large for 32 bits saturates rather than wrapping round
// to a short one.
std::int32_t TimeoutMilliseconds(std::int32_t seconds) {
  if (seconds <= 0) return 30000;
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(std::int64_t{seconds} * 1000, std::numeric_limits<std::int32_t>::max()));
}

// Returns the request target: the path and the query, "/" standing in for an empty path.
Text ObjectName(const UrlParts& parts) {
  return ConcatTexts(parts.path.empty() ? u8"/"_text : parts.path, parts.extra);
}

// Returns the header block: the caller's lines first, then each default line whose header the block does not
// mention yet. A mention is any occurrence of the search text, so "X-Cookie: 1" also keeps "Cookie" out.
Text HeaderBlock(const HttpRequestArgs& args) {
  const Text& crlf = u8"\r\n"_text;
  Text block;
  if (!args.extraHeaders.empty()) block.Append(args.extraHeaders).Append(crlf);
  const auto addUnlessMentioned = [&](const Text& sought, bool ignoreCase, const Text& line) {
    if (FindText(block, sought, 1, ignoreCase) == -1) block.Append(line).Append(crlf);
  };
  addUnlessMentioned(
      u8"User-Agent: "_text, true,
      u8"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"_text);
  addUnlessMentioned(u8"Accept: "_text, true, u8"Accept: text/html, application/xhtml+xml, */*"_text);
  addUnlessMentioned(u8"Accept-Encoding: "_text, true, u8"Accept-Encoding: gbk, GB2312"_text);
  addUnlessMentioned(u8"Accept-Language: "_text, true, u8"Accept-Language: zh-cn"_text);
  if (args.method == 1) {
    addUnlessMentioned(u8"Content-Type:"_text, false,
                       u8"Content-Type: application/x-www-form-urlencoded"_text);
  }
  addUnlessMentioned(u8"Cache-Control: "_text, true, u8"Cache-Control: no-cache"_text);
  if (args.sendCookies && !args.sendCookies->empty()) {
    addUnlessMentioned(u8"Cookie: "_text, true, ConcatTexts(u8"Cookie: "_text, *args.sendCookies));
  }
  return block;
}

// Closes the three handles, request first, on every way out of a call.
class HandleCloser {
 public:
  explicit HandleCloser(Transport& transport) : transport_(transport) {}
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  ~HandleCloser() {
    transport_.Close(Handle::kRequest);
    transport_.Close(Handle::kConnection);
    transport_.Close(Handle::kSession);
  }

 private:
  Transport& transport_;
};

}  // namespace

Text HttpRequest(const Text& url, const HttpRequestArgs& args) {
  // A transport of its own for every call: nothing is shared, and a call made while this one yields is
  // independent of it.
  const std::unique_ptr<Transport> transport = NewCurlTransport();
  return HttpRequest(url, args, *transport);
}

Text HttpRequest(const Text& url, const HttpRequestArgs& args, Transport& transport) {
  const HandleCloser closer(transport);
  const auto report = [&](const Text& message) {
    if (args.statusMessage) *args.statusMessage = message;
  };
  // The stages nest; leaving each of the `stages` entered lets the window handle its queued messages once.
  const auto fail = [&](const Text& message, int stages) {
    report(message);
    for (int i = 0; i < stages; ++i) ProcessPendingMessages();
    return Text();
  };
  // The option stages stop without yielding.
  const auto stop = [&](const Text& message) {
    report(message);
    return Text();
  };

  if (!transport.CheckPlatform()) return fail(u8"700 当前系统不支持WinHttp服务!"_text, 0);
  const std::optional<UrlParts> parts = transport.SplitUrl(url);
  if (!parts) return fail(u8"701 解析URL地址失败!"_text, 1);
  if (!transport.OpenSession(args.proxy)) return fail(u8"702 创建WinHttp会话失败!"_text, 2);
  if (!transport.Connect(parts->host, parts->port)) return fail(u8"703 创建WinHttp连接失败!"_text, 3);
  if (!transport.OpenRequest(VerbOf(args.method), ObjectName(*parts), parts->secure)) {
    return fail(u8"704 创建WinHttp请求失败!"_text, 4);
  }
  if (!transport.SetTimeouts(TimeoutMilliseconds(args.timeoutSeconds))) {
    return fail(u8"705 设置超时时间失败!"_text, 5);
  }
  if (!args.userName.empty() && !args.password.empty() &&
      !transport.SetCredentials(AuthTarget::kServer, args.userName, args.password)) {
    return stop(u8"706 设置服务器凭证失败!"_text);
  }
  if (!args.proxyUserName.empty() && !args.proxyPassword.empty() &&
      !transport.SetCredentials(AuthTarget::kProxy, args.proxyUserName, args.proxyPassword)) {
    return stop(u8"707 设置代理凭证失败!"_text);
  }
  if (!transport.SetCookieHandling(args.sendCookies != nullptr))
    return stop(u8"708 禁止自动设置Cookies失败!"_text);
  if (args.noRedirect && !transport.DisableRedirects()) return stop(u8"709 重定向设置失败!"_text);
  if (!transport.AddHeaders(HeaderBlock(args))) return fail(u8"710 设置协议头失败!"_text, 6);
  if (!transport.Send(TextToBytes(args.postData))) return fail(u8"711 发送请求失败!"_text, 7);
  if (!transport.ReceiveResponse()) return fail(u8"712 服务器未响应!"_text, 8);

  Bytes body;
  for (;;) {
    const std::optional<std::int64_t> available = transport.QueryDataAvailable();
    if (!available || *available < 1) break;
    // A failed read ends reading; the bytes read so far still make the response.
    if (!transport.ReadData(*available, body)) {
      report(u8"713 读取数据失败!"_text);
      break;
    }
  }

  Text text;
  if (const std::optional<Text> rawHeaders = transport.QueryRawHeaders()) {
    text = ReadResponse(*rawHeaders, std::move(body),
                        {.responseHeaders = args.responseHeaders,
                         .statusMessage = args.statusMessage,
                         .receivedCookies = args.receivedCookies,
                         .redirectLocation = args.redirectLocation,
                         .responseBytes = args.responseBytes,
                         .sendCookies = args.sendCookies,
                         .mergeCookies = args.mergeCookies.value_or(true)});
  }
  for (int i = 0; i < 9; ++i) ProcessPendingMessages();
  return text;
}

}  // namespace qh
