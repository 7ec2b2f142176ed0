// How the http tests print texts and byte buffers in failure messages: as quoted, escaped bytes.
//   EXPECT_EQ(status, T("200 OK"));   // a failure shows "404 Not Found", not 32 raw object bytes
#pragma once

#include <ostream>
#include <string_view>

#include "text/text.h"

namespace qh {

inline void PrintEscapedBytes(std::string_view bytes, std::ostream* os) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  *os << '"';
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r') {
      *os << "\\r";
    } else if (c == '\n') {
      *os << "\\n";
    } else if (c == '"' || c == '\\') {
      *os << '\\' << c;
    } else if (u < 0x20 || u >= 0x7F) {
      *os << "\\x" << kHex[u >> 4] << kHex[u & 0xF];
    } else {
      *os << c;
    }
  }
  *os << '"';
}

inline void PrintTo(const Text& text, std::ostream* os) {
  PrintEscapedBytes(text.view(), os);
}

inline void PrintTo(const Bytes& bytes, std::ostream* os) {
  PrintEscapedBytes(bytes.view(), os);
}

}  // namespace qh
