// Fuzzes the regex object with an arbitrary pattern and subject: every query stays in range, match texts
// are the subject's own bytes at the reported positions, and nothing hangs (the search limits end it).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "regex/regex_object.h"
#include "text/codepage.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First byte: the four settings; then the pattern, up to a NUL; then the subject.
  const std::uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = input.find('\0');
  if (split == std::string_view::npos) return 0;
  const qh::Text pattern = qh::Text::FromCp936(input.substr(0, split));
  const qh::Text subject = qh::Text::FromCp936(input.substr(split + 1));

  // Bytes that map to nothing come back as "?", so texts compare with the subject only when it round-trips.
  const bool roundTrips = qh::TextFromUtf16(qh::Utf16FromText(subject)) == subject;
  qh::RegexObject re;
  const bool compiled = re.Create(pattern, subject, flags & 1, flags & 2, flags & 4, flags & 8);
  const int count = re.MatchCount();
  Check(count >= 0 && (compiled || count == 0));
  for (int i = 0; i <= count + 1 && i < 64; ++i) {
    int position = -7;
    const qh::Text match = re.MatchText(i, &position);
    if (i < 1 || i > count) {
      Check(match.empty() && position == -2);
      continue;
    }
    Check(position >= 0 && static_cast<std::size_t>(position) + match.size() <= subject.size());
    Check(!roundTrips || subject.view().substr(position, match.size()) == match.view());
    for (int g = 1; g <= re.SubMatchCount() && g < 8; ++g) {
      int groupPosition = -7;
      const qh::Text group = re.SubMatchText(i, g, &groupPosition);
      Check(groupPosition == -2 || !roundTrips ||
            subject.view().substr(groupPosition, group.size()) == group.view());
    }
  }
  const qh::RegexObject copy = re;
  Check(copy.MatchCount() == count);
  (void)re.ReplaceMatches(qh::Text::FromCp936("[$1]"));
  return 0;
}
