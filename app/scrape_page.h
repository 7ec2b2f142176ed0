// Turns one numbered page of the content site into the text a run appends: the sayings from the second
// match of "<p>(.*)</p></a>" on, each behind CR LF, one more CR LF at the end, the tags removed.
//   ScrapedPage page = ScrapePage(IntToText(2), TextFromUtf8("127.0.0.1:8080"));
//   AppendToOutputFile(path, page.text);
#pragma once

#include "text/text.h"

namespace qh {

// What one page yielded: the text for the output file and how its request went.
struct ScrapedPage {
  Text text;        // empty, or CR LF then each saying followed by CR LF
  int sayings = 0;  // the number of sayings in `text`
  Text status;      // the response's status line text ("200 OK"), or the request's numbered error text
  // Returns whether the request got no answer or an HTTP error status; the text is kept either way.
  bool failed() const;
};

// Returns the site's page `page` (decimal digits) fetched from "http://" host "/qh/" page ".html" with a
// plain GET and cut into sayings; a failed request yields the empty text.
ScrapedPage ScrapePage(const Text& page, const Text& host);

}  // namespace qh
