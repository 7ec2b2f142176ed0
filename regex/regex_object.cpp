#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace qh {
namespace {

template <auto Free>
struct Pcre2Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using CodePtr = std::unique_ptr<pcre2_code, Pcre2Deleter<&pcre2_code_free>>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, Pcre2Deleter<&pcre2_compile_context_free>>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, Pcre2Deleter<&pcre2_match_context_free>>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, Pcre2Deleter<&pcre2_match_data_free>>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, Pcre2Deleter<&pcre2_jit_stack_free>>;

// Bounds on one search, so that a pattern that backtracks without end on a hostile page gives up instead of
// hanging the program. The JIT ignores the depth limit; its stack size bounds it instead.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 4 * 1024 * 1024;
constexpr std::size_t kJitMinSubject = 4 * 1024;

PCRE2_SPTR Units(std::u16string_view s) {
  return reinterpret_cast<PCRE2_SPTR>(s.data());
}

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Returns the number of units of the character at `at` (1 past the end, so that a search can step off it).
std::size_t CharWidth(std::u16string_view s, std::size_t at) {
  return at + 1 < s.size() && IsHighSurrogate(s[at]) && IsLowSurrogate(s[at + 1]) ? 2 : 1;
}

// Returns the replacement in the engine's syntax: "$n" stays a group reference, "$&" the whole match,
// "$$" one dollar sign, and any other "$" is taken literally instead of failing the whole replacement.
std::u16string ReplacementSyntax(std::u16string_view in) {
  std::u16string out;
  out.reserve(in.size() + 8);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != u'$') {
      out += in[i];
      continue;
    }
    const char16_t next = i + 1 < in.size() ? in[i + 1] : u'\0';
    if (next >= u'0' && next <= u'9') {
      out += u'$';
    } else if (next == u'&') {
      out += u"$0";
      ++i;
    } else {
      out += u"$$";
      if (next == u'$') ++i;
    }
  }
  return out;
}

// A span of UTF-16 units; `begin` is kUnset for a group that took part in no match.
struct Span {
  static constexpr std::size_t kUnset = static_cast<std::size_t>(-1);
  std::size_t begin = kUnset;
  std::size_t end = kUnset;
  bool set() const { return begin != kUnset; }
};

// Maps offsets in the UTF-16 subject to byte offsets in its code page 936 text. Counting the bytes unit by
// unit is exact: every byte sequence decodes to units that encode back to as many bytes, a sequence that
// maps to nothing included ("?" for a stray lead byte, its trail byte decoded on its own). A byte offset is
// kept every kStep units, the rest is counted from there.
class ByteOffsets {
 public:
  explicit ByteOffsets(std::u16string_view units) {
    marks_.reserve(units.size() / kStep + 1);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i <= units.size(); i += kStep) {
      marks_.push_back(bytes);
      bytes += Cp936Length(units.substr(i, kStep));
    }
  }
  std::size_t At(std::u16string_view units, std::size_t unit) const {
    const std::size_t mark = unit / kStep;
    return marks_[mark] + Cp936Length(units.substr(mark * kStep, unit - mark * kStep));
  }

 private:
  static constexpr std::size_t kStep = 64;
  std::vector<std::size_t> marks_;
};

int ToPosition(std::size_t byteOffset) {
  return static_cast<int>(std::min<std::size_t>(byteOffset, INT32_MAX));
}

}  // namespace

struct RegexObject::Compiled {
  Text pattern;
  bool global = true;
  CodePtr code;  // none when the pattern did not compile
  std::uint32_t groupCount = 0;
  JitStackPtr jitStack;  // before `context`, which refers to it
  MatchContextPtr context;
};

struct RegexObject::Collection {
  std::u16string subject;
  std::size_t stride = 1;   // spans per match: the match itself, then its groups
  std::vector<Span> spans;  // match k (0-based) at [k * stride, (k + 1) * stride)

  std::size_t count() const { return spans.size() / stride; }
  const Span* Find(int matchIndex, int slot) const {
    if (matchIndex < 1 || static_cast<std::size_t>(matchIndex) > count()) return nullptr;
    if (slot < 0 || static_cast<std::size_t>(slot) >= stride) return nullptr;
    const Span& span = spans[(matchIndex - 1) * stride + slot];
    return span.set() ? &span : nullptr;
  }
  Text TextOf(const Span& span) const {
    return TextFromUtf16(std::u16string_view(subject).substr(span.begin, span.end - span.begin));
  }
  // Built on the first position query only: most users never ask for one.
  std::size_t ByteOffset(std::size_t unit) const {
    std::call_once(offsetsBuilt, [this] { offsets.emplace(subject); });
    return offsets->At(subject, unit);
  }

 private:
  mutable std::once_flag offsetsBuilt;
  mutable std::optional<ByteOffsets> offsets;
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

bool RegexObject::Create(const Text& pattern, const Text& subject, std::optional<bool> caseSensitive,
                         std::optional<bool> multiline, std::optional<bool> global,
                         std::optional<bool> expandQuoteMarker) {
  compiled_.reset();
  matches_.reset();
  subject_ = subject;

  auto compiled = std::make_shared<Compiled>();
  compiled->pattern = expandQuoteMarker.value_or(false)
                          ? ReplaceText(pattern, u8"#引号"_text, Text::FromCp936("\""), 1, -1, true)
                          : pattern;
  compiled->global = global.value_or(true);

  // ECMAScript-style dialect: \w \d \s stay ASCII (no PCRE2_UCP), only a line feed ends a line, $ without
  // multiline matches at the very end only, \uXXXX and [^] are understood, an unset backreference matches
  // empty. \C could split a surrogate pair and is refused.
  std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                          PCRE2_NEVER_BACKSLASH_C;
  if (!caseSensitive.value_or(false)) options |= PCRE2_CASELESS;
  options |= multiline.value_or(true) ? PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX : PCRE2_DOLLAR_ENDONLY;

  const CompileContextPtr compileContext(pcre2_compile_context_create(nullptr));
  if (!compileContext) return false;
  pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
  const std::u16string pattern16 = Utf16FromText(compiled->pattern);
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  compiled->code.reset(
      pcre2_compile(Units(pattern16), pattern16.size(), options, &error, &errorOffset, compileContext.get()));
  if (!compiled->code) {
    compiled_ = std::move(compiled);  // the pattern still reads back, as given
    return false;
  }
  pcre2_pattern_info(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &compiled->groupCount);

  compiled->context.reset(pcre2_match_context_create(nullptr));
  if (!compiled->context) return false;
  pcre2_set_match_limit(compiled->context.get(), kMatchLimit);
  pcre2_set_depth_limit(compiled->context.get(), kDepthLimit);
  // Compiling to machine code costs more than interpreting a short subject, so only long subjects get the
  // JIT; without it the interpreter runs the same pattern, only slower.
  if (subject.size() >= kJitMinSubject && pcre2_jit_compile(compiled->code.get(), PCRE2_JIT_COMPLETE) == 0) {
    compiled->jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (compiled->jitStack)
      pcre2_jit_stack_assign(compiled->context.get(), nullptr, compiled->jitStack.get());
  }

  const MatchDataPtr matchData(pcre2_match_data_create_from_pattern(compiled->code.get(), nullptr));
  if (!matchData) return false;
  auto collection = std::make_shared<Collection>();
  collection->subject = Utf16FromText(subject);
  collection->stride = compiled->groupCount + 1;
  const std::u16string_view units = collection->subject;
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
  for (std::size_t start = 0; start <= units.size();) {
    // Decoded text is always valid UTF-16 and `start` always lies on a character boundary.
    const int rc = pcre2_match(compiled->code.get(), Units(units), units.size(), start, PCRE2_NO_UTF_CHECK,
                               matchData.get(), compiled->context.get());
    // No further match, or a limit was hit: the collection keeps the matches found so far.
    if (rc < 0) break;
    for (std::size_t g = 0; g < collection->stride; ++g) {
      const PCRE2_SIZE begin = ovector[2 * g];
      collection->spans.push_back(begin == PCRE2_UNSET ? Span{} : Span{begin, ovector[2 * g + 1]});
    }
    if (!compiled->global) break;
    const std::size_t begin = ovector[0];
    const std::size_t end = ovector[1];
    if (end < start) break;
    // After an empty match the next search starts one character on, so it cannot find the same one again.
    start = end > begin ? end : end + CharWidth(units, end);
  }
  compiled_ = std::move(compiled);
  matches_ = std::move(collection);
  return true;
}

Text RegexObject::GetPattern() const {
  return compiled_ ? compiled_->pattern : Text();
}

Text RegexObject::ReplaceMatches(const Text& replacement) const {
  if (!compiled_ || !compiled_->code || !matches_) return {};
  const std::u16string_view subject = matches_->subject;
  const std::u16string syntax = ReplacementSyntax(Utf16FromText(replacement));
  std::uint32_t options = PCRE2_NO_UTF_CHECK | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH |
                          PCRE2_SUBSTITUTE_UNSET_EMPTY | PCRE2_SUBSTITUTE_UNKNOWN_UNSET;
  if (compiled_->global) options |= PCRE2_SUBSTITUTE_GLOBAL;

  std::u16string out(subject.size() + syntax.size() + 1, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    PCRE2_SIZE length = out.size();
    const int rc = pcre2_substitute(compiled_->code.get(), Units(subject), subject.size(), 0, options,
                                    nullptr, compiled_->context.get(), Units(syntax), syntax.size(),
                                    reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
    if (rc >= 0) {
      out.resize(length);
      return TextFromUtf16(out);
    }
    // Too small a buffer: `length` now holds the size needed.
    if (rc != PCRE2_ERROR_NOMEMORY) break;
    out.assign(length, u'\0');
  }
  return {};
}

int RegexObject::MatchCount() const {
  return matches_ ? static_cast<int>(matches_->count()) : 0;
}

Text RegexObject::MatchText(int index, int* position) const {
  return SlotText(index, 0, position);
}

Text RegexObject::SubMatchText(int matchIndex, int groupIndex, int* position) const {
  return SlotText(matchIndex, groupIndex < 1 ? -1 : groupIndex, position);
}

Text RegexObject::SlotText(int matchIndex, int slot, int* position) const {
  const Span* span = matches_ ? matches_->Find(matchIndex, slot) : nullptr;
  if (!span) {
    if (position) *position = -2;
    return {};
  }
  if (position) *position = ToPosition(matches_->ByteOffset(span->begin));
  return matches_->TextOf(*span);
}

int RegexObject::SubMatchCount() const {
  return matches_ && matches_->count() > 0 ? static_cast<int>(matches_->stride - 1) : 0;
}

}  // namespace qh
