// Fuzzes the response step on arbitrary raw header text and body bytes: status text, cookies, Location,
// charset sniffing and re-decoding. Every output must be a well-formed text and the raw body kept whole.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/response.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
bool WellFormed(const qh::Text& t) {
  return t.view().find('\0') == std::string_view::npos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // First byte: whether cookies were sent and merged; then the head, up to a blank line; then the body.
  const bool sendCookies = data[0] & 1, merge = data[0] & 2;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t end = input.find("\r\n\r\n");
  const std::string_view head = input.substr(0, end == std::string_view::npos ? input.size() : end + 4);
  const std::string body(end == std::string_view::npos ? std::string_view() : input.substr(end + 4));

  qh::Text headers, status, received, location, sent = qh::Text::FromCp936("a=1; b=2");
  qh::Bytes bytes;
  const qh::Text text = qh::ReadResponse(qh::Text::FromCp936(head), qh::Bytes(body),
                                         {.responseHeaders = &headers,
                                          .statusMessage = &status,
                                          .receivedCookies = &received,
                                          .redirectLocation = &location,
                                          .responseBytes = &bytes,
                                          .sendCookies = sendCookies ? &sent : nullptr,
                                          .mergeCookies = merge});
  Check(WellFormed(text) && WellFormed(status) && WellFormed(received) && WellFormed(location));
  Check(bytes.view() == body);
  Check(status.size() <= headers.size());
  return 0;
}
