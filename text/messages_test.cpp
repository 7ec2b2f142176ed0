#include "text/messages.h"

#include <gtest/gtest.h>

namespace qh {
namespace {

TEST(MessagesTest, WithoutPumpReturnsAtOnceAndInstalledPumpRuns) {
  const MessagePump before = InstallMessagePump({});
  ProcessPendingMessages();  // no pump: nothing happens
  int calls = 0;
  EXPECT_FALSE(InstallMessagePump([&] { ++calls; }));
  ProcessPendingMessages();
  ProcessPendingMessages();
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(InstallMessagePump(before));
}

TEST(MessagesTest, PumpMayReplaceItselfWhileRunning) {
  int second = 0;
  InstallMessagePump([&] { InstallMessagePump([&] { ++second; }); });
  ProcessPendingMessages();
  ProcessPendingMessages();
  EXPECT_EQ(second, 1);
  InstallMessagePump({});
}

}  // namespace
}  // namespace qh
