#include "app/scrape_page.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "text/codepage.h"

namespace qh {
namespace {

using testing::LoopbackServer;

// The one "<p>...</p></a>" in the site's chrome, which the extraction skips.
const std::string kChrome =
    "<html><head><meta charset=gb2312></head><body>\n<a href=\"/\"><p>chrome</p></a>\n";

TEST(ScrapePageTest, CutsTheSayingsOutOfThePage) {
  struct Case {
    std::string name;
    std::string html;  // code page 936
    std::string text;
    int sayings;
  };
  const std::vector<Case> cases = {
      {"no match", "<html><body>nothing here</body></html>", "", 0},
      {"one match: the chrome alone", kChrome, "\r\n", 0},
      {"three matches on three lines", "<a><p>one</p></a>\n<a><p>two</p></a>\n<a><p>three</p></a>\n",
       "\r\ntwo\r\nthree\r\n", 2},
      {"two pairs on one line make one greedy match",
       kChrome + "<li><a href=\"#1\"><p>first</p></a></li><li><a href=\"#2\"><p>second</p></a></li>\n",
       "\r\nfirst</li><li><a href=\"#2\">second\r\n", 1},
      {"a saying split over two lines is not matched", kChrome + "<a><p>split\nline</p></a>\n", "\r\n", 0},
      {"tags in upper case", kChrome + "<A><P>LOUD</P></A>\n", "\r\nLOUD\r\n", 1},
      {"tags inside a saying are removed too", kChrome + "<a><p>a<p>b</p></a>c</p></a>\n", "\r\nabc\r\n", 1},
      {"double-byte characters", kChrome + "<a><p>\xC7\xE9\xBB\xB0</p></a>\r\n<a><p>\xC4\xE3</p></a>\r\n",
       "\r\n\xC7\xE9\xBB\xB0\r\n\xC4\xE3\r\n", 2},
  };
  std::mutex mutex;
  std::vector<std::string> paths;
  LoopbackServer server([&](const httplib::Request& req, httplib::Response& res) {
    const std::lock_guard lock(mutex);
    paths.push_back(req.method + " " + req.path);
    const std::optional<int> page = testing::PageOfPath(req.path);
    if (!page || *page < 2 || *page >= 2 + static_cast<int>(cases.size())) {
      res.status = 404;
      return;
    }
    res.set_content(cases[static_cast<std::size_t>(*page - 2)].html, "text/html");
  });

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const int page = 2 + static_cast<int>(i);
    const ScrapedPage scraped = ScrapePage(IntToText(page), TextFromUtf8(server.site()));
    EXPECT_EQ(scraped.text.str(), c.text);
    EXPECT_EQ(scraped.sayings, c.sayings);
    EXPECT_EQ(scraped.status.str(), "200 OK");
    EXPECT_FALSE(scraped.failed());
    const std::lock_guard lock(mutex);
    EXPECT_EQ(paths.back(), "GET /qh/" + std::to_string(page) + ".html");
  }
}

TEST(ScrapePageTest, AnErrorPageIsCutLikeAnyOtherButCountsAsFailed) {
  LoopbackServer server([](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content(kChrome + "<a><p>still here</p></a>\n", "text/html");
  });
  const ScrapedPage scraped = ScrapePage(IntToText(7), TextFromUtf8(server.site()));
  EXPECT_EQ(scraped.text.str(), "\r\nstill here\r\n");
  EXPECT_TRUE(scraped.status.str().starts_with("500")) << scraped.status.str();
  EXPECT_TRUE(scraped.failed());
}

TEST(ScrapePageTest, AFailedRequestYieldsTheEmptyText) {
  // Nothing listens on port 1 of the loopback address.
  const ScrapedPage scraped = ScrapePage(IntToText(2), TextFromUtf8("127.0.0.1:1"));
  EXPECT_TRUE(scraped.text.empty());
  EXPECT_EQ(scraped.sayings, 0);
  EXPECT_TRUE(scraped.status.str().starts_with("7")) << scraped.status.str();
  EXPECT_TRUE(scraped.failed());
}

}  // namespace
}  // namespace qh
