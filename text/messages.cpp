#include "text/messages.h"

#include <utility>

namespace qh {
namespace {
MessagePump& InstalledPump() {
  static MessagePump pump;
  return pump;
}
}  // namespace

void ProcessPendingMessages() {
  // A copy, so that a pump which installs another one while it runs stays alive until it returns.
  if (MessagePump pump = InstalledPump()) pump();
}

MessagePump InstallMessagePump(MessagePump pump) {
  return std::exchange(InstalledPump(), std::move(pump));
}

}  // namespace qh
