// The sample content site: pages /qh/2.html to /qh/1981.html in code page 936, each with one piece of
// site chrome in "<p>...</p></a>" first and then a few sayings, one `<a href="..."><p>...</p></a>` a line.
// Sayings are composed deterministically from a few dozen phrases, so a harvest can be checked exactly.
//   std::optional<qh::Text> body = qh::sample::Serve("/qh/2.html");   // nothing for other paths
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace qh::sample {

inline constexpr int kFirstPage = 2;
inline constexpr int kLastPage = 1981;

// Returns the sayings of `page` in the order the page lists them; none outside kFirstPage..kLastPage.
std::vector<Text> Sayings(int page);

// Returns the HTML of `page` (one of kFirstPage..kLastPage).
Text PageHtml(int page);

// Returns the body the site serves for `path`, or nothing for a path it does not have.
std::optional<Text> Serve(std::string_view path);

}  // namespace qh::sample
