#include "http/cookies.h"

#include <string>

namespace qh {
namespace {

const Text& Semicolon() {
  static const Text semicolon = Text::FromCp936(";");
  return semicolon;
}

bool IsDeleted(const Text& piece) {
  return piece.view().ends_with("=deleted");
}

}  // namespace

Text MergeCookies(Text& sendCookies, Text& receivedCookies) {
  sendCookies = TrimSpaces(sendCookies);
  receivedCookies = TrimSpaces(receivedCookies);

  TextArray merged = SplitText(receivedCookies, Semicolon());
  for (Text& piece : SplitText(sendCookies, Semicolon())) {
    // The check sees the sent pieces taken so far, so of several with one name only the first survives.
    if (!ContainsCookieName(merged, CookieName(piece))) merged.push_back(std::move(piece));
  }

  std::string joined;
  for (const Text& piece : merged) {
    if (IsDeleted(piece)) continue;
    joined.append(piece.view()).push_back(';');
  }
  if (!joined.empty()) joined.pop_back();

  Text result = RemoveDuplicatePieces(Text::FromCp936(std::move(joined)), Semicolon());
  sendCookies = result;
  return result;
}

Text CookieName(const Text& piece) {
  // FindText steps over double-byte characters, so an "=" that is the second byte of one does not count.
  const int equals = FindText(piece, Text::FromCp936("="));
  return TrimSpaces(equals == -1 ? piece : TextLeft(piece, equals - 1));
}

bool ContainsCookieName(const TextArray& list, const Text& name) {
  for (const Text& piece : list) {
    if (CookieName(piece) == name) return true;
  }
  return false;
}

Text RemoveDuplicatePieces(const Text& text, const Text& delimiter) {
  TextArray seen;
  std::string out;
  for (Text& piece : SplitText(text, delimiter)) {
    if (IndexOfText(seen, piece) != -1) continue;
    out.append(piece.view()).append(delimiter.view());
    seen.push_back(std::move(piece));
  }
  out.resize(out.size() >= delimiter.size() ? out.size() - delimiter.size() : 0);
  return Text::FromCp936(std::move(out));
}

int IndexOfText(const TextArray& list, const Text& text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace qh
