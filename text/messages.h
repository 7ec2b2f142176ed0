// The program's one yield point: long operations call ProcessPendingMessages so that the window can repaint
// and act on queued input. The window layer installs the real pump; without one the call returns at once.
//   auto previous = InstallMessagePump([&] { ++yields; });   // a counting pump in a test
#pragma once

#include <functional>

namespace qh {

using MessagePump = std::function<void()>;

// Dispatches the messages already queued, through the installed pump; never waits.
void ProcessPendingMessages();
// Installs `pump` (an empty one removes it); returns the pump installed before.
MessagePump InstallMessagePump(MessagePump pump);

}  // namespace qh
