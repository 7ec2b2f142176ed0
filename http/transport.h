// The platform HTTP layer under HttpRequest, one call per stage of an exchange, so that the request logic
// reads stage by stage and tests can put a fake underneath. One object serves one exchange at a time.
//   std::unique_ptr<Transport> transport = NewCurlTransport();
//   Text body = HttpRequest(url, {.statusMessage = &status}, *transport);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace qh {

// An absolute URL cut into the parts a request is made of.
struct UrlParts {
  bool secure = false;  // https
  Text host;            // IPv6 literals keep their brackets
  int port = 0;         // the URL's port, else the scheme's default
  Text path;            // may be empty
  Text extra;           // the query with its "?", empty when there is none
};

enum class AuthTarget { kServer, kProxy };
// The three handles of an exchange, in the order they are opened.
enum class Handle { kSession, kConnection, kRequest };

class Transport {
 public:
  virtual ~Transport() = default;

  // Returns whether the platform can make HTTP requests at all.
  virtual bool CheckPlatform() = 0;
  // Returns the parts of an absolute http or https URL; nullopt for anything else.
  virtual std::optional<UrlParts> SplitUrl(const Text& url) = 0;
  // Returns whether a session could be opened; `proxy` is "host:port", empty for a direct connection.
  virtual bool OpenSession(const Text& proxy) = 0;
  // Returns whether a connection to `host` and `port` could be prepared.
  virtual bool Connect(const Text& host, int port) = 0;
  // Returns whether a request for `objectName` (path and query) with `verb` could be opened.
  virtual bool OpenRequest(std::string_view verb, const Text& objectName, bool secure) = 0;
  // Returns whether `milliseconds` could be set for resolving, connecting, sending and each wait to receive.
  virtual bool SetTimeouts(std::int32_t milliseconds) = 0;
  // Returns whether Basic credentials could be set for the server or the proxy.
  virtual bool SetCredentials(AuthTarget target, const Text& userName, const Text& password) = 0;
  // Returns whether the cookie engine could be switched on (cookies set during the exchange are sent on its
  // later hops) or off (no cookie is kept or added).
  virtual bool SetCookieHandling(bool enabled) = 0;
  // Returns whether redirects could be switched off (they are followed otherwise).
  virtual bool DisableRedirects() = 0;
  // Returns whether the header lines of `block` (each ended by CR LF) could be added to the request.
  virtual bool AddHeaders(const Text& block) = 0;
  // Returns whether the request, with `body` when it is not empty, could be sent.
  virtual bool Send(const Bytes& body) = 0;
  // Returns whether a response head arrived.
  virtual bool ReceiveResponse() = 0;
  // Returns how many body bytes can be read now, 0 at the end of the body, nullopt when the query fails.
  virtual std::optional<std::int64_t> QueryDataAvailable() = 0;
  // Returns whether up to `count` body bytes could be read; they are appended to `body`.
  virtual bool ReadData(std::int64_t count, Bytes& body) = 0;
  // Returns the final response's status line and header lines, each ended by CR LF, then an empty line;
  // nullopt when the headers cannot be had.
  virtual std::optional<Text> QueryRawHeaders() = 0;
  // Closes `handle`; closing one that was never opened does nothing.
  virtual void Close(Handle handle) = 0;
};

// Returns the transport over the system's HTTP library; a new one for each exchange keeps nothing between
// exchanges.
std::unique_ptr<Transport> NewCurlTransport();

}  // namespace qh
