#include "tools/sample-site/sample_site.h"

#include <array>
#include <charconv>
#include <string>
#include <string_view>

#include "text/codepage.h"

namespace qh::sample {
namespace {

constexpr std::array<std::u8string_view, 16> kOpenings = {
    u8"遇见你",   u8"想起你的时候", u8"每一个清晨", u8"夜深的时候", u8"风吹过窗台", u8"下雨的日子",
    u8"在人群里", u8"走过长街",     u8"月亮升起来", u8"春天来了",   u8"看海的时候", u8"醒来的那一刻",
    u8"路灯亮起", u8"雪落下的晚上", u8"等车的时候", u8"翻开旧书",
};
constexpr std::array<std::u8string_view, 16> kMiddles = {
    u8"我的心就变得很软", u8"世界忽然安静了", u8"所有的星星都亮了", u8"我只想牵你的手",
    u8"连风都是甜的",     u8"我偷偷笑了很久", u8"日子也变得温柔",   u8"我想把好天气都留给你",
    u8"我听见自己的心跳", u8"什么都不怕了",   u8"远方也不再远",     u8"每一步都很踏实",
    u8"云朵都像你的样子", u8"时间走得很慢",   u8"我把名字写在心上", u8"灯火都暖了起来",
};
constexpr std::array<std::u8string_view, 8> kEndings = {
    u8"。",           u8"，你知道吗？", u8"，因为有你。", u8"，就这样吧。",
    u8"，一直到老。", u8"，晚安。",     u8"，我很想你。", u8"，别走远。",
};

bool InRange(int page) {
  return page >= kFirstPage && page <= kLastPage;
}

std::u8string Saying(int page, int index) {
  std::u8string saying(kOpenings[(page * 7 + index * 3) % kOpenings.size()]);
  saying += u8"，";
  saying += kMiddles[(page * 11 + index * 5) % kMiddles.size()];
  saying += kEndings[(page + index) % kEndings.size()];
  return saying;
}

int SayingCount(int page) {
  return 3 + page * 5 % 6;
}

std::u8string Number(int n) {
  const std::string digits = std::to_string(n);
  return std::u8string(digits.begin(), digits.end());
}

std::u8string Link(int page) {
  return u8"/qh/" + Number(page) + u8".html";
}

}  // namespace

std::vector<Text> Sayings(int page) {
  std::vector<Text> sayings;
  if (!InRange(page)) return sayings;
  for (int i = 0; i < SayingCount(page); ++i) sayings.push_back(TextFromUtf8(Saying(page, i)));
  return sayings;
}

Text PageHtml(int page) {
  std::u8string html = u8"<!DOCTYPE html>\n<html>\n<head>\n<meta charset=gb2312>\n<title>情话 第" +
                       Number(page) + u8"页</title>\n</head>\n<body>\n";
  // The chrome's one paragraph inside a link comes first: a harvest skips the first match.
  html += u8"<div class=\"nav\"><a href=\"/\"><p>情话大全</p></a></div>\n<ul>\n";
  for (int i = 0; i < SayingCount(page); ++i) {
    html += u8"<li><a href=\"" + Link(page) + u8"#" + Number(i + 1) + u8"\"><p>" + Saying(page, i) +
            u8"</p></a></li>\n";
  }
  html += u8"</ul>\n<div class=\"pages\">";
  if (page > kFirstPage) html += u8"<a href=\"" + Link(page - 1) + u8"\">上一页</a> ";
  if (page < kLastPage) html += u8"<a href=\"" + Link(page + 1) + u8"\">下一页</a>";
  html += u8"</div>\n</body>\n</html>\n";
  return TextFromUtf8(html);
}

std::optional<Text> Serve(std::string_view path) {
  constexpr std::string_view kPrefix = "/qh/";
  constexpr std::string_view kSuffix = ".html";
  if (!path.starts_with(kPrefix) || !path.ends_with(kSuffix)) return {};
  const std::string_view digits = path.substr(kPrefix.size(), path.size() - kPrefix.size() - kSuffix.size());
  int page = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), page);
  // Exactly the plain digits of a page: no sign, no leading zero, nothing behind.
  if (error != std::errc() || end != digits.data() + digits.size() || digits.starts_with('0') ||
      !InRange(page)) {
    return {};
  }
  return PageHtml(page);
}

}  // namespace qh::sample
