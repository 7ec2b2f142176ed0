// Merging the cookies a request sent with the ones its response set: received cookies win over sent ones of
// the same name, cookies the server deleted ("=deleted") are dropped and pieces that repeat exactly go.
//   Text sent = u8"a=1; b=2"_text, received = u8"b=9"_text;
//   Text merged = MergeCookies(sent, received);   // "b=9;a=1", and sent now holds it too
#pragma once

#include "text/text.h"

namespace qh {

// Returns the merged cookie string: the received pieces, then the sent pieces whose name the response did not
// set, joined by ";". Both arguments are trimmed in place and `sendCookies` receives the result as well.
Text MergeCookies(Text& sendCookies, Text& receivedCookies);

// Returns the name of a cookie piece: its text before the first "=" (all of it without one), trimmed.
Text CookieName(const Text& piece);

// Returns whether the CookieName of some element of `list` equals `name` exactly.
bool ContainsCookieName(const TextArray& list, const Text& name);

// Returns `text` with every piece between `delimiter`s kept only at its first exact occurrence.
Text RemoveDuplicatePieces(const Text& text, const Text& delimiter);

// Returns the 1-based index of the first element of `list` equal to `text`, or -1.
int IndexOfText(const TextArray& list, const Text& text);

}  // namespace qh
