// The transport over the libcurl easy interface. The whole exchange runs inside Send; the later stages hand
// its result out piece by piece, each failure at the stage where it belongs.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "http/transport.h"
#include "text/codepage.h"

namespace qh {
namespace {

// --- Typed options: each knows the argument type curl reads for it, so a wrong one does not compile.

template <typename T>
struct Option {
  CURLoption id;
};

template <typename T>
bool Set(CURL* easy, Option<T> option, std::type_identity_t<T> value) {
  return curl_easy_setopt(easy, option.id, value) == CURLE_OK;
}

using LongOption = Option<long>;
using StringOption = Option<const char*>;
using PointerOption = Option<void*>;

constexpr StringOption kUrl{CURLOPT_URL};
constexpr StringOption kProtocols{CURLOPT_PROTOCOLS_STR};
constexpr StringOption kRedirectProtocols{CURLOPT_REDIR_PROTOCOLS_STR};
constexpr LongOption kHttpVersion{CURLOPT_HTTP_VERSION};
constexpr LongOption kFollowLocation{CURLOPT_FOLLOWLOCATION};
constexpr LongOption kMaxRedirects{CURLOPT_MAXREDIRS};
constexpr LongOption kNoSignal{CURLOPT_NOSIGNAL};
constexpr StringOption kProxy{CURLOPT_PROXY};
constexpr StringOption kNoProxy{CURLOPT_NOPROXY};
constexpr LongOption kProxyType{CURLOPT_PROXYTYPE};
constexpr LongOption kProxyTunnel{CURLOPT_HTTPPROXYTUNNEL};
constexpr LongOption kSuppressConnectHeaders{CURLOPT_SUPPRESS_CONNECT_HEADERS};
constexpr LongOption kConnectTimeoutMs{CURLOPT_CONNECTTIMEOUT_MS};
constexpr LongOption kHttpAuth{CURLOPT_HTTPAUTH};
constexpr StringOption kUserName{CURLOPT_USERNAME};
constexpr StringOption kPassword{CURLOPT_PASSWORD};
constexpr LongOption kProxyAuth{CURLOPT_PROXYAUTH};
constexpr StringOption kProxyUserName{CURLOPT_PROXYUSERNAME};
constexpr StringOption kProxyPassword{CURLOPT_PROXYPASSWORD};
constexpr StringOption kCookieFile{CURLOPT_COOKIEFILE};
constexpr StringOption kCookie{CURLOPT_COOKIE};
constexpr Option<curl_slist*> kHttpHeader{CURLOPT_HTTPHEADER};
constexpr LongOption kHttpGet{CURLOPT_HTTPGET};
constexpr LongOption kNoBody{CURLOPT_NOBODY};
constexpr StringOption kCustomRequest{CURLOPT_CUSTOMREQUEST};
constexpr PointerOption kPostFields{CURLOPT_POSTFIELDS};
constexpr Option<curl_off_t> kPostFieldSize{CURLOPT_POSTFIELDSIZE_LARGE};
constexpr Option<curl_write_callback> kHeaderFunction{CURLOPT_HEADERFUNCTION};
constexpr PointerOption kHeaderData{CURLOPT_HEADERDATA};
constexpr Option<curl_write_callback> kWriteFunction{CURLOPT_WRITEFUNCTION};
constexpr PointerOption kWriteData{CURLOPT_WRITEDATA};
constexpr Option<curl_xferinfo_callback> kProgressFunction{CURLOPT_XFERINFOFUNCTION};
constexpr PointerOption kProgressData{CURLOPT_XFERINFODATA};
constexpr LongOption kNoProgress{CURLOPT_NOPROGRESS};
constexpr Option<curl_prereq_callback> kPrereqFunction{CURLOPT_PREREQFUNCTION};
constexpr PointerOption kPrereqData{CURLOPT_PREREQDATA};

// --- Owners of curl's handles.

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct SlistCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistCleanup>;

struct UrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlCleanup>;

struct CurlFree {
  void operator()(char* p) const { curl_free(p); }
};
using CurlString = std::unique_ptr<char, CurlFree>;

bool GlobalInit() {
  static const bool ok = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return false;
    std::atexit(curl_global_cleanup);
    return true;
  }();
  return ok;
}

bool SupportsHttp() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (!info || !info->protocols) return false;
  for (const char* const* p = info->protocols; *p; ++p) {
    if (std::strcmp(*p, "http") == 0) return true;
  }
  return false;
}

// Returns the URL part, or nullopt when the URL has none.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* raw = nullptr;
  if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) return std::nullopt;
  const CurlString owned(raw);
  return std::string(owned.get());
}

bool HasControlOrSpace(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F;
  });
}

// A request target on the wire is ASCII: bytes of non-ASCII characters go percent-encoded.
std::string PercentEncodeNonAscii(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0xF]);
    }
  }
  return out;
}

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return fold(x) == fold(y);
         });
}

std::string_view TrimOws(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct HeaderLine {
  std::string_view name;
  std::string_view value;  // without surrounding blanks
  std::string_view line;
};

// Returns the header lines of `block` with empty lines skipped and a repeated name keeping the first
// line's place and the last line's value; nullopt when a line is not "Name: value" or holds a bare CR or LF.
std::optional<std::vector<HeaderLine>> ParseHeaderBlock(std::string_view block) {
  std::vector<HeaderLine> lines;
  while (!block.empty()) {
    const std::size_t end = block.find("\r\n");
    const std::string_view line = block.substr(0, end);
    block.remove_prefix(end == std::string_view::npos ? block.size() : end + 2);
    if (line.empty()) continue;
    if (line.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenChar)) return std::nullopt;
    const HeaderLine parsed{name, TrimOws(line.substr(colon + 1)), line};
    const auto same = std::find_if(lines.begin(), lines.end(),
                                   [&](const HeaderLine& l) { return EqualsIgnoringCase(l.name, name); });
    if (same == lines.end()) {
      lines.push_back(parsed);
    } else {
      *same = parsed;
    }
  }
  return lines;
}

class CurlTransport final : public Transport {
 public:
  bool CheckPlatform() override { return GlobalInit() && SupportsHttp(); }

  std::optional<UrlParts> SplitUrl(const Text& url) override {
    if (url.empty() || HasControlOrSpace(url.view())) return std::nullopt;
    const UrlHandle handle(curl_url());
    if (!handle) return std::nullopt;
    if (curl_url_set(handle.get(), CURLUPART_URL, Utf8FromText(url).c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK) {
      return std::nullopt;
    }
    const std::optional<std::string> scheme = UrlPart(handle.get(), CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https")) return std::nullopt;
    const std::optional<std::string> host = UrlPart(handle.get(), CURLUPART_HOST);
    const std::optional<std::string> port = UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!host || host->empty() || !port) return std::nullopt;
    UrlParts parts;
    parts.secure = *scheme == "https";
    parts.host = TextFromUtf8(*host);
    parts.port = std::atoi(port->c_str());
    parts.path = TextFromUtf8(UrlPart(handle.get(), CURLUPART_PATH).value_or(""));
    if (const std::optional<std::string> query = UrlPart(handle.get(), CURLUPART_QUERY)) {
      parts.extra = TextFromUtf8("?" + *query);
    }
    return parts;
  }

  bool OpenSession(const Text& proxy) override {
    if (HasControlOrSpace(proxy.view())) return false;
    proxy_ = Utf8FromText(proxy);
    return true;
  }

  bool Connect(const Text& host, int port) override {
    if (host.empty() || port <= 0 || port > 65535) return false;
    origin_ = Utf8FromText(host) + ":" + std::to_string(port);
    return true;
  }

  bool OpenRequest(std::string_view verb, const Text& objectName, bool secure) override {
    easy_.reset(curl_easy_init());
    if (!easy_) return false;
    CURL* const e = easy_.get();
    verb_ = verb;
    const std::string url =
        (secure ? "https://" : "http://") + origin_ + PercentEncodeNonAscii(Utf8FromText(objectName));
    std::string proxyUrl;
    if (!proxy_.empty()) {
      const bool hasScheme =
          proxy_.size() > 7 && EqualsIgnoringCase(std::string_view(proxy_).substr(0, 7), "http://");
      proxyUrl = hasScheme ? proxy_ : "http://" + proxy_;
    }
    // One easy handle per exchange and no share handle: no connection, cookie or DNS entry outlives it.
    return Set(e, kUrl, url.c_str()) && Set(e, kProtocols, "http,https") &&
           Set(e, kRedirectProtocols, "http,https") && Set(e, kHttpVersion, CURL_HTTP_VERSION_1_1) &&
           Set(e, kFollowLocation, 1L) && Set(e, kMaxRedirects, 10L) && Set(e, kNoSignal, 1L) &&
           // An empty proxy and an empty no-proxy list keep the environment's proxy settings out.
           Set(e, kProxy, proxyUrl.c_str()) && Set(e, kNoProxy, "") &&
           (proxyUrl.empty() ||
            (Set(e, kProxyType, CURLPROXY_HTTP) && Set(e, kProxyTunnel, secure ? 1L : 0L))) &&
           Set(e, kSuppressConnectHeaders, 1L) && Set(e, kHeaderFunction, &CurlTransport::OnHeader) &&
           Set(e, kHeaderData, this) && Set(e, kWriteFunction, &CurlTransport::OnBody) &&
           Set(e, kWriteData, this) && Set(e, kProgressFunction, &CurlTransport::OnProgress) &&
           Set(e, kProgressData, this) && Set(e, kNoProgress, 0L) &&
           Set(e, kPrereqFunction, &CurlTransport::OnPrereq) && Set(e, kPrereqData, this);
  }

  bool SetTimeouts(std::int32_t milliseconds) override {
    if (!easy_ || milliseconds <= 0) return false;
    timeout_ = std::chrono::milliseconds(milliseconds);
    return Set(easy_.get(), kConnectTimeoutMs, static_cast<long>(milliseconds));
  }

  bool SetCredentials(AuthTarget target, const Text& userName, const Text& password) override {
    if (!easy_) return false;
    CURL* const e = easy_.get();
    // Basic only, sent with the first request; curl keeps them from the hosts a redirect leads to.
    if (target == AuthTarget::kServer) {
      return Set(e, kHttpAuth, static_cast<long>(CURLAUTH_BASIC)) && Set(e, kUserName, userName.data()) &&
             Set(e, kPassword, password.data());
    }
    return Set(e, kProxyAuth, static_cast<long>(CURLAUTH_BASIC)) && Set(e, kProxyUserName, userName.data()) &&
           Set(e, kProxyPassword, password.data());
  }

  bool SetCookieHandling(bool enabled) override {
    if (!easy_) return false;
    cookieEngine_ = enabled;
    // An empty file name starts the in-memory engine, which dies with the handle.
    return !enabled || Set(easy_.get(), kCookieFile, "");
  }

  bool DisableRedirects() override { return easy_ && Set(easy_.get(), kFollowLocation, 0L); }

  bool AddHeaders(const Text& block) override {
    if (!easy_) return false;
    const std::optional<std::vector<HeaderLine>> lines = ParseHeaderBlock(block.view());
    if (!lines) return false;
    bool hasAccept = false, hasContentType = false, hasExpect = false, hasProxyConnection = false;
    std::vector<std::string> out;
    for (const HeaderLine& line : *lines) {
      hasAccept |= EqualsIgnoringCase(line.name, "Accept");
      hasContentType |= EqualsIgnoringCase(line.name, "Content-Type");
      hasExpect |= EqualsIgnoringCase(line.name, "Expect");
      hasProxyConnection |= EqualsIgnoringCase(line.name, "Proxy-Connection");
      if (cookieEngine_ && EqualsIgnoringCase(line.name, "Cookie")) {
        // Through curl's cookie option the caller's cookies and those the engine picked up on the way share
        // one Cookie line.
        cookie_ = line.value;
        continue;
      }
      // curl reads "Name:" with nothing after it as "remove Name"; "Name;" is its way to send it empty.
      out.push_back(line.value.empty() ? std::string(line.name) + ";" : std::string(line.line));
    }
    // Keep out what curl would add on its own.
    if (!hasAccept) out.emplace_back("Accept:");
    if (!hasContentType) out.emplace_back("Content-Type:");
    if (!hasExpect) out.emplace_back("Expect:");
    if (!hasProxyConnection) out.emplace_back("Proxy-Connection:");

    HeaderList list;
    for (const std::string& line : out) {
      curl_slist* const grown = curl_slist_append(list.get(), line.c_str());
      if (!grown) return false;
      if (!list) list.reset(grown);  // appending keeps the head, except to an empty list
    }
    if (!Set(easy_.get(), kHttpHeader, list.get())) return false;
    headers_ = std::move(list);
    return cookie_.empty() || Set(easy_.get(), kCookie, cookie_.c_str());
  }

  bool Send(const Bytes& body) override {
    if (!easy_ || !SetVerb(body)) {
      outcome_ = Outcome::kSendFailed;
      return false;
    }
    bodySize_ = static_cast<curl_off_t>(body.size());
    lastActivity_ = Clock::now();
    const CURLcode code = curl_easy_perform(easy_.get());
    outcome_ = Classify(code);
    available_ = body_.size();
    return outcome_ != Outcome::kSendFailed;
  }

  bool ReceiveResponse() override {
    return outcome_ == Outcome::kComplete || outcome_ == Outcome::kReadFailed;
  }

  std::optional<std::int64_t> QueryDataAvailable() override {
    if (delivered_ < available_) return static_cast<std::int64_t>(available_ - delivered_);
    // A transfer that broke off: one more read, which fails.
    return outcome_ == Outcome::kReadFailed && !readFailureReported_ ? 1 : 0;
  }

  bool ReadData(std::int64_t count, Bytes& body) override {
    if (delivered_ >= available_) {
      readFailureReported_ = true;
      return outcome_ != Outcome::kReadFailed;
    }
    const std::size_t n =
        std::min(available_ - delivered_, static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    if (delivered_ == 0 && n == available_ && body.empty()) {
      body.str().swap(body_);  // the common case: the whole body in one read, without a copy
    } else {
      body.str().append(body_, delivered_, n);
    }
    delivered_ += n;
    return true;
  }

  std::optional<Text> QueryRawHeaders() override {
    if (!headDone_) return std::nullopt;
    return Text::FromCp936(head_);
  }

  void Close(Handle handle) override {
    if (handle != Handle::kRequest) return;
    easy_.reset();
    headers_.reset();
  }

 private:
  using Clock = std::chrono::steady_clock;
  enum class Outcome { kNotSent, kComplete, kSendFailed, kNoResponse, kReadFailed };

  bool SetVerb(const Bytes& body) {
    CURL* const e = easy_.get();
    // curl only reads the body, so handing it the caller's bytes without a copy is safe.
    const auto setBody = [&] {
      return Set(e, kPostFields, const_cast<char*>(body.data())) &&
             Set(e, kPostFieldSize, static_cast<curl_off_t>(body.size()));
    };
    if (verb_ == "HEAD") {
      if (body.empty()) return Set(e, kNoBody, 1L);
      // curl sends no body with its own HEAD, so this one is a custom verb, and since curl would then
      // wait for a response body, the transfer is ended once the head is in.
      endAfterHead_ = true;
      return setBody() && Set(e, kCustomRequest, "HEAD");
    }
    // A POST always carries a body, so that an empty one is announced with "Content-Length: 0".
    if (verb_ == "POST") return setBody();
    if (body.empty()) return verb_ == "GET" ? Set(e, kHttpGet, 1L) : Set(e, kCustomRequest, verb_.c_str());
    // Any other verb with a body, a GET included, which curl would otherwise send as a POST.
    return setBody() && Set(e, kCustomRequest, verb_.c_str());
  }

  Outcome Classify(CURLcode code) const {
    switch (code) {
      case CURLE_OK:
        return headDone_ ? Outcome::kComplete : Outcome::kNoResponse;
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
      case CURLE_COULDNT_CONNECT:
      case CURLE_OPERATION_TIMEDOUT:
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_PEER_FAILED_VERIFICATION:
      case CURLE_SEND_ERROR:
        // Failing to reach the host a redirect points to shows as the answer that never came.
        return finalHeads_ == 0 ? Outcome::kSendFailed : Outcome::kNoResponse;
      case CURLE_TOO_MANY_REDIRECTS:
      case CURLE_UNSUPPORTED_PROTOCOL:  // a redirect to another scheme, or a reply that is not HTTP
        return Outcome::kNoResponse;
      default:
        // Ended on purpose once a HEAD answer's head was in.
        if (HeadIsAll() && (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_WRITE_ERROR)) {
          return Outcome::kComplete;
        }
        if (headDone_) return Outcome::kReadFailed;
        if (finalHeads_ == 0 && (!requestStarted_ || (timedOut_ && uploaded_ < bodySize_))) {
          return Outcome::kSendFailed;
        }
        return Outcome::kNoResponse;
    }
  }

  void Touch() { lastActivity_ = Clock::now(); }

  // Makes room for the announced body at once rather than growing step by step; a length beyond reason is
  // not trusted, the buffer then grows as bytes come.
  void ReserveForBody() {
    constexpr curl_off_t kMostReserved = curl_off_t{64} << 20;
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length > 0) {
      body_.reserve(static_cast<std::size_t>(std::min(length, kMostReserved)));
    }
  }

  // Whether the exchange is over although curl would read on: a HEAD answer has no body.
  bool HeadIsAll() const { return endAfterHead_ && headDone_; }

  // Collects the head of the final response: a status line starts afresh (after a redirect or a 1xx
  // answer), and after the blank line that ends a final head nothing more is taken, so trailers stay out.
  void TakeHeaderLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (!inHead_) {
      if (!line.starts_with("HTTP/")) return;
      head_.clear();
      body_.clear();
      headDone_ = false;
      inHead_ = true;
      const std::size_t blank = line.find(' ');
      status_ =
          blank == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(blank + 1, 3)).c_str());
    }
    head_.append(line).append("\r\n");
    if (line.empty()) {
      inHead_ = false;
      if (status_ < 100 || status_ >= 200) {
        headDone_ = true;
        ++finalHeads_;
      }
    }
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transport = static_cast<CurlTransport*>(self);
    transport->Touch();
    try {
      transport->TakeHeaderLine(std::string_view(data, size * count));
    } catch (...) {
      return 0;  // out of memory: curl ends the transfer
    }
    return size * count;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transport = static_cast<CurlTransport*>(self);
    transport->Touch();
    if (transport->HeadIsAll()) return 0;
    try {
      if (transport->body_.empty()) transport->ReserveForBody();
      transport->body_.append(data, size * count);
    } catch (...) {
      return 0;
    }
    return size * count;
  }

  // The receive time-out is an idle time-out: the transfer ends once no byte has moved for that long.
  static int OnProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* transport = static_cast<CurlTransport*>(self);
    if (transport->HeadIsAll()) return 1;
    if (downloaded != transport->downloaded_ || uploaded != transport->uploaded_) {
      transport->downloaded_ = downloaded;
      transport->uploaded_ = uploaded;
      transport->Touch();
      return 0;
    }
    if (Clock::now() - transport->lastActivity_ > transport->timeout_) {
      transport->timedOut_ = true;
      return 1;
    }
    return 0;
  }

  static int OnPrereq(void* self, char*, char*, int, int) {
    auto* transport = static_cast<CurlTransport*>(self);
    transport->requestStarted_ = true;
    transport->uploaded_ = 0;
    transport->Touch();
    return CURL_PREREQFUNC_OK;
  }

  std::string proxy_;
  std::string origin_;
  std::string verb_;
  std::string cookie_;
  bool cookieEngine_ = false;
  bool endAfterHead_ = false;
  std::chrono::milliseconds timeout_{30000};
  // The list must outlive the handle that points at it: the handle is declared later, so it goes first.
  HeaderList headers_;
  EasyHandle easy_;

  // The exchange, as the callbacks saw it.
  std::string head_;
  std::string body_;
  bool inHead_ = false;
  bool headDone_ = false;
  int status_ = 0;
  int finalHeads_ = 0;
  bool requestStarted_ = false;
  bool timedOut_ = false;
  curl_off_t bodySize_ = 0;
  curl_off_t downloaded_ = 0;
  curl_off_t uploaded_ = 0;
  Clock::time_point lastActivity_;
  Outcome outcome_ = Outcome::kNotSent;
  std::size_t available_ = 0;
  std::size_t delivered_ = 0;
  bool readFailureReported_ = false;
};

}  // namespace

std::unique_ptr<Transport> NewCurlTransport() {
  return std::make_unique<CurlTransport>();
}

}  // namespace qh
