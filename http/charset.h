// Re-decoding a page body from the charset it declares into code page 936 text.
//   std::optional<Text> text = DecodeCharset(body.view(), Text::FromCp936("utf-8"));
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace qh {

// Returns `bytes` decoded from the charset named `charset` (aliases as pages write them, such as "utf8" or
// "big5", are recognised) as text, with invalid sequences and characters code page 936 lacks as "?", cut at
// the first NUL; nullopt when no charset of that name is known.
std::optional<Text> DecodeCharset(std::string_view bytes, const Text& charset);

}  // namespace qh
