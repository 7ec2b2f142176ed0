// One synchronous HTTP request: the response body as code page 936 text, with optional outputs for the
// headers, status, cookies, redirect target and raw body. Failures are numbered texts in statusMessage.
//   Text status;
//   Text body = HttpRequest(u8"http://127.0.0.1:8080/qh/2.html"_text, {.statusMessage = &status});
#pragma once

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace qh {

class Transport;

// Request verb: 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT, any other value GET.
using HttpMethod = std::int32_t;

// The optional parameters, in their fixed order. Pointers are the caller's output variables (null: not
// supplied); an output is written only where the exchange reaches the point that fills it.
struct HttpRequestArgs {
  HttpMethod method = 0;
  Text postData{};                  // request body, sent with any verb when not empty
  Text* sendCookies = nullptr;      // in and out; supplying it (even empty) turns the cookie engine on
  Text* receivedCookies = nullptr;  // out: the response's name=value pairs joined by "; " (merged, see below)
  Text extraHeaders{};              // header lines separated by CR LF, placed first in the header block
  Text* responseHeaders = nullptr;  // out: raw header text of the final response
  bool noRedirect = false;          // true: a redirect answer is delivered as it is
  Text userName{};                  // server Basic credentials, used only when both are non-empty
  Text password{};
  Text proxy{};          // host:port; empty means no proxy
  Text proxyUserName{};  // proxy Basic credentials, used only when both are non-empty
  Text proxyPassword{};
  std::int32_t timeoutSeconds = 0;   // connecting, and each wait for a byte; 0 or less means 30 seconds
  Text* redirectLocation = nullptr;  // out: the final response's Location value
  Text* statusMessage = nullptr;     // out: status text such as "200 OK", or the error text of a failure
  Bytes* responseBytes = nullptr;    // out: the body exactly as received
  std::optional<bool>
      mergeCookies{};  // not supplied: true; with sendCookies, received and sent cookies merge
};

// Returns the response body as text (re-decoded when the page declares a charset other than gbk and
// gb2312); the empty text on every failure. Any HTTP status counts as an answer: a 404 page is delivered.
Text HttpRequest(const Text& url, const HttpRequestArgs& args = {});
// The same over the given transport (tests pass a fake one).
Text HttpRequest(const Text& url, const HttpRequestArgs& args, Transport& transport);

}  // namespace qh
