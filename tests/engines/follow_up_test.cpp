#include "engines/follow_up.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(FollowUpTest, AddressFromTheItemsValues) {
  EngineRequest page;
  page.url = "https://h/search/page";
  page.fields.query = "rock roll";
  page.fields.userKey = "k/1";
  ResultEntry item = NewEntry();
  item.url = "https://h/items/7?x=1";
  const CapturedValues values = {{"ID", "tape 1/b"}, {"EMPTY", ""}};
  struct Case {
    const char* follow;
    const char* address;
  };
  const Case cases[] = {
      {"/metadata/__ID__", "https://h/metadata/tape%201%2Fb"},
      {"files/__id__.json", "https://h/search/files/tape%201%2Fb.json"},
      {"__URL__&files=1", "https://h/items/7?x=1&files=1"},
      {"https://api.h/i/__ID__?key=__KEY__&q=__QUERY__",
       "https://api.h/i/tape%201%2Fb?key=k%2F1&q=rock%20roll"},
      {"/m/__EMPTY__", "https://h/m/"},
      {"/m/__MISSING__", ""},  // a value the item lacks: no follow-up at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.follow);
    EngineDefinition engine;
    engine.follow = c.follow;
    EXPECT_EQ(FollowUpAddress(engine, item, values, page), c.address);
  }
  item.url.clear();
  EngineDefinition engine;
  engine.follow = "__URL__";
  EXPECT_EQ(FollowUpAddress(engine, item, values, page), "");
}

TEST(FollowUpTest, QueueHoldsTheLimitAndCountsItemsItCannotFollow) {
  EngineDefinition engine;
  engine.follow = "/i/__ID__";
  engine.maxFollowUps = 2;
  EngineRequest page;
  page.url = "http://h/s";
  FollowUpQueue queue;
  queue.page = 3;
  const ResultEntry item = NewEntry();
  EXPECT_TRUE(QueueFollowUp(queue, engine, item, {{"ID", "a"}}, page));
  EXPECT_TRUE(QueueFollowUp(queue, engine, item, {{"OTHER", "b"}}, page));  // lost, but counted
  EXPECT_FALSE(QueueFollowUp(queue, engine, item, {{"ID", "c"}}, page));
  EXPECT_TRUE(queue.full);
  EXPECT_EQ(queue.queued, 2);
  EXPECT_EQ(queue.failed, 1);
  ASSERT_EQ(queue.pending.size(), 1u);
  EXPECT_EQ(queue.pending[0].address, "http://h/i/a");
  EXPECT_EQ(queue.pending[0].page, 3);
  EXPECT_EQ(queue.pending[0].index, 1);
  const EngineRequest request = FollowUpRequest(queue.pending[0], page);
  EXPECT_EQ(RequestAddress(request), "http://h/i/a");  // sent as it is, no '?' added
}

}  // namespace
}  // namespace sondrel
