// Cutting the sayings out of a page of about 50 KB as the scrape run does it, once per page over 1980 pages:
// compile, collect, then read every match; also with byte positions, the charset sniff over a page's first
// 1024 bytes, and a hostile 300 KB line that must end quickly instead of backtracking for seconds.
#include <benchmark/benchmark.h>

#include "regex/regex_object.h"
#include "text/codepage.h"

namespace {

using qh::Text;
using namespace qh::literals;

// A list page of the content site: head, navigation, forty sayings one per line, scripts and a footer.
Text ListPage() {
  Text page =
      u8"<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
      u8"charset=gb2312\">\n<title>情话大全_最新情话</title>\n"
      u8"<link rel=\"stylesheet\" href=\"/css/main.css\">\n</head>\n<body>\n"_text;
  for (int i = 0; i < 60; ++i) {
    page.Append(u8"<div class=\"nav\"><a href=\"/qh/"_text)
        .Append(qh::IntToText(i))
        .Append(u8".html\" title=\"土味情话\">土味情话 第"_text)
        .Append(qh::IntToText(i))
        .Append(u8"页</a></div>\n"_text);
  }
  page.Append(u8"<ul class=\"list\">\n"_text);
  for (int i = 0; i < 40; ++i) {
    page.Append(u8"<li><a href=\"/qh/"_text)
        .Append(qh::IntToText(1000 + i))
        .Append(u8".html\" target=\"_blank\"><p>我喜欢你，像风走了八千里，不问归期；"_text)
        .Append(u8"你是我温暖的手套，冰冷的啤酒，带着阳光味道的衬衫。</p></a></li>\n"_text);
  }
  page.Append(u8"</ul>\n<script>\n"_text);
  while (page.size() < 50 * 1024) {
    page.Append(
        u8"var _hmt = _hmt || []; (function() { var hm = document.createElement(\"script\"); "
        u8"hm.src = \"https://example.invalid/hm.js\"; })();\n"_text);
  }
  page.Append(u8"</script>\n<div class=\"footer\">版权所有 情话网</div>\n</body></html>\n"_text);
  return page;
}

const Text& Page() {
  static const Text page = ListPage();
  return page;
}

void BM_ExtractPage(benchmark::State& state) {
  const Text pattern = Text::FromCp936("<p>(.*)</p></a>");
  for (auto _ : state) {
    qh::RegexObject re;
    re.Create(pattern, Page());
    Text joined;
    for (int k = 1, n = re.MatchCount(); k <= n; ++k) joined.Append(re.MatchText(k + 1));
    benchmark::DoNotOptimize(joined);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}
BENCHMARK(BM_ExtractPage);

void BM_ExtractPageWithPositions(benchmark::State& state) {
  const Text pattern = Text::FromCp936("<p>(.*)</p></a>");
  for (auto _ : state) {
    qh::RegexObject re;
    re.Create(pattern, Page());
    int sum = 0;
    for (int k = 1, n = re.MatchCount(); k <= n; ++k) {
      int position = 0;
      int groupPosition = 0;
      benchmark::DoNotOptimize(re.MatchText(k, &position));
      benchmark::DoNotOptimize(re.SubMatchText(k, 1, &groupPosition));
      sum += position + groupPosition;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Page().size()));
}
BENCHMARK(BM_ExtractPageWithPositions);

void BM_CharsetSniff(benchmark::State& state) {
  const Text pattern = Text::FromCp936("<meta.+?charset=[^\\w]?([-\\w]+)");
  const Text head = qh::TextLeft(Page(), 1024);
  for (auto _ : state) {
    qh::RegexObject re;
    if (re.Create(pattern, head)) benchmark::DoNotOptimize(re.SubMatchText(1, 1));
  }
}
BENCHMARK(BM_CharsetSniff);

void BM_HostileLine(benchmark::State& state) {
  Text line;
  while (line.size() < 300'000) line.Append(u8"<p>一句情话</p><b>x</b> "_text);
  const Text pattern = Text::FromCp936("<p>(.*)</p></a>");
  for (auto _ : state) {
    qh::RegexObject re;
    re.Create(pattern, line);
    benchmark::DoNotOptimize(re.MatchCount());
  }
}
BENCHMARK(BM_HostileLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
