// Name lookup as a pollable step: what is answered at once, one lookup at a time through the
// resolver, and giving a lookup up.

#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>

#include "net/async_wait.h"
#include "net/host_cache.h"
#include "net/socket_io.h"

namespace sondrel {
namespace {

std::uint32_t Dotted(const char* text) {
  in_addr address{};
  EXPECT_EQ(::inet_pton(AF_INET, text, &address), 1);
  return address.s_addr;
}

// Steps until the lookup ends, sleeping in the resolver's wake-up between steps.
int Finish(HostLookup& lookup) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int r = kAsyncAgain;
  while ((r = lookup.Step()) == kAsyncAgain && std::chrono::steady_clock::now() < deadline) {
    AsyncWait wait = lookup.Wait();
    WaitForAnyJob(std::span<const AsyncWait>(&wait, 1));
  }
  return r;
}

bool g_cancel = false;
bool CancelFlag(NetProgress&) {
  return g_cancel;
}

class HostLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A fresh, empty host cache for every test.
    NetShutdown();
    NetStartup();
    g_cancel = false;
  }
  void TearDown() override { g_cancel = false; }
};

TEST_F(HostLookupTest, DottedNumbersAndCachedNamesNeedNoLookup) {
  SharedHostCache()->Add("cached.example", Dotted("192.0.2.7"));
  struct Case {
    const char* name;
    const char* address;
  } cases[] = {
      {"10.0.0.1", "10.0.0.1"}, {"127.0.0.1", "127.0.0.1"}, {"cached.example", "192.0.2.7"}};
  std::uint64_t lookups = ResolverLookupCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetProgress progress;
    HostLookup lookup;
    EXPECT_EQ(lookup.Start(c.name, &progress), kAsyncDone);
    EXPECT_EQ(progress.state, kNetStateResolving);
    EXPECT_EQ(progress.text, c.name);
    EXPECT_EQ(lookup.Step(), kAsyncDone);
    EXPECT_EQ(lookup.address(), Dotted(c.address));
  }
  EXPECT_EQ(ResolverLookupCount(), lookups);
  EXPECT_EQ(SharedHostCache()->Count(), 1u);  // numbers are never cached
}

TEST_F(HostLookupTest, LocalhostIsLookedUpOnceThenCached) {
  DrainResolverWake();
  std::uint64_t lookups = ResolverLookupCount();
  HostLookup lookup;
  ASSERT_EQ(lookup.Start("localhost", nullptr), kAsyncAgain);
  EXPECT_EQ(lookup.Step(), kAsyncAgain);
  EXPECT_EQ(lookup.state(), kLookupPending);
  // The finished lookup wakes a waiting thread long before the timeout.
  AsyncWait wait = lookup.Wait();
  EXPECT_GE(WaitForAnyJob(std::span<const AsyncWait>(&wait, 1), 10000), 1);
  EXPECT_EQ(Finish(lookup), kAsyncDone);
  EXPECT_EQ(lookup.address(), Dotted("127.0.0.1"));
  EXPECT_EQ(ResolverLookupCount(), lookups + 1);
  EXPECT_EQ(SharedHostCache()->Lookup("localhost"), Dotted("127.0.0.1"));

  HostLookup again;
  EXPECT_EQ(again.Start("localhost", nullptr), kAsyncDone);
  EXPECT_EQ(ResolverLookupCount(), lookups + 1);
}

TEST_F(HostLookupTest, OneLookupAtATime) {
  std::uint64_t lookups = ResolverLookupCount();
  HostLookup first, second, third;
  ASSERT_EQ(first.Start("localhost", nullptr), kAsyncAgain);
  ASSERT_EQ(first.Step(), kAsyncAgain);
  ASSERT_EQ(second.Start("nonexistent.invalid", nullptr), kAsyncAgain);
  ASSERT_EQ(third.Start("localhost", nullptr), kAsyncAgain);
  // Even after the first answer has arrived, the slot stays taken until its owner steps.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(second.Step(), kAsyncAgain);
    EXPECT_EQ(third.Step(), kAsyncAgain);
    WaitForAnyJob({}, 20);
  }
  EXPECT_EQ(second.state(), kLookupNotStarted);
  EXPECT_EQ(third.state(), kLookupNotStarted);
  EXPECT_EQ(ResolverLookupCount(), lookups + 1);

  EXPECT_EQ(Finish(first), kAsyncDone);
  // The waiting lookup of the same name finds it in the cache; the other one gets the resolver.
  EXPECT_EQ(third.Step(), kAsyncDone);
  EXPECT_EQ(third.address(), first.address());
  EXPECT_EQ(Finish(second), kAsyncFailed);
  EXPECT_EQ(second.address(), kNoAddress);
  EXPECT_EQ(ResolverLookupCount(), lookups + 2);
}

TEST_F(HostLookupTest, GivingUpFreesTheSlot) {
  NetProgress progress;
  progress.shouldCancel = CancelFlag;
  HostLookup next;
  {
    HostLookup cancelled;
    ASSERT_EQ(cancelled.Start("localhost", &progress), kAsyncAgain);
    ASSERT_EQ(cancelled.Step(), kAsyncAgain);
    ASSERT_EQ(next.Start("localhost", nullptr), kAsyncAgain);
    EXPECT_EQ(next.Step(), kAsyncAgain);
    EXPECT_EQ(next.state(), kLookupNotStarted);
    g_cancel = true;
    EXPECT_EQ(cancelled.Step(), kAsyncFailed);
    EXPECT_EQ(cancelled.state(), kLookupFailed);
    EXPECT_EQ(cancelled.Step(), kAsyncFailed);
    g_cancel = false;

    // A lookup abandoned while pending (its job closed) frees the slot as well.
    HostLookup abandoned;
    ASSERT_EQ(abandoned.Start("localhost", nullptr), kAsyncAgain);
    ASSERT_EQ(abandoned.Step(), kAsyncAgain);
    ASSERT_EQ(abandoned.state(), kLookupPending);
  }
  EXPECT_EQ(Finish(next), kAsyncDone);
  EXPECT_EQ(next.address(), Dotted("127.0.0.1"));

  // A cancelled lookup that waits for the slot never starts.
  HostLookup busy, waiting;
  ASSERT_EQ(busy.Start("nonexistent.invalid", nullptr), kAsyncAgain);
  ASSERT_EQ(busy.Step(), kAsyncAgain);
  ASSERT_EQ(waiting.Start("other.invalid", &progress), kAsyncAgain);
  g_cancel = true;
  std::uint64_t lookups = ResolverLookupCount();
  EXPECT_EQ(waiting.Step(), kAsyncFailed);
  EXPECT_EQ(ResolverLookupCount(), lookups);
}

TEST_F(HostLookupTest, EmptyAndOverlongNames) {
  HostLookup empty;
  EXPECT_EQ(empty.Start("", nullptr), kAsyncAgain);
  EXPECT_EQ(empty.Step(), kAsyncFailed);

  HostLookup overlong;
  std::string name(600, 'a');
  (void)overlong.Start(name, nullptr);
  EXPECT_EQ(overlong.name().size(), kHostNameMax);
  overlong.Cancel();
  EXPECT_EQ(overlong.Step(), kAsyncFailed);
}

}  // namespace
}  // namespace sondrel
