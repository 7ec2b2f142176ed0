// The response step of HttpRequest: from the raw response head and the body it fills the caller's outputs
// (headers, status text, cookies, redirect target, raw body) and makes the body text, re-decoded when the
// page declares a charset other than gbk and gb2312.
//   Text status;
//   Text body = ReadResponse(rawHead, std::move(bytes), {.statusMessage = &status});   // status: "200 OK"
#pragma once

#include "text/text.h"

namespace qh {

// Where the step writes; a null pointer is an output the caller did not supply.
struct ResponseTargets {
  Text* responseHeaders = nullptr;
  Text* statusMessage = nullptr;
  Text* receivedCookies = nullptr;
  Text* redirectLocation = nullptr;
  Bytes* responseBytes = nullptr;
  Text* sendCookies = nullptr;  // also tells whether cookies were supplied, which enables the merge
  bool mergeCookies = true;
};

// Returns the body text: its bytes up to the first zero byte, or the whole body re-decoded from the charset
// that its first 1024 bytes declare. `rawHeaders` is the status line and header lines, each ended by CR LF.
Text ReadResponse(const Text& rawHeaders, Bytes body, const ResponseTargets& targets);

}  // namespace qh
