#include "engines/query.h"

#include <gtest/gtest.h>

#include "engines/engine_definition.h"

#include <optional>
#include "support/dates.h"

namespace sondrel {
namespace {

EngineRequest Build(const std::string& action, const QueryFields& fields) {
  EngineDefinition engine;
  engine.action = action;
  EngineRequest request;
  BuildRequest(request, fields, engine);
  return request;
}

QueryFields WithQuery(const std::string& query) {
  QueryFields fields;
  fields.query = query;
  return fields;
}

TEST(BuildRequestTest, ActionTemplates) {
  struct Case {
    const char* action;
    const char* query;
    int method;
    const char* url;
    const char* params;
  };
  const Case cases[] = {
      {"post://h/s.cgi?q=__QUERY__", "a b", MethodPost, "http://h/s.cgi", "q=a+b"},
      {"posts://h/s.cgi?q=__QUERY__", "a b", MethodPost, "https://h/s.cgi", "q=a+b"},
      {"http://h/s?q=__query__", "a b", MethodGet, "http://h/s", "q=a+b"},
      {"http://h/s?x=__UNKNOWN__&q=__QUERY__", "a", MethodGet, "http://h/s", "x=&q=a"},
      {"http://h/s", "a", MethodGet, "http://h/s", ""},
      {"http://h/s?q=__QUERY__&n=__HITS__", "a-b, c", MethodGet, "http://h/s", "q=a+b+c&n=10"},
      {"http://h/s?a=__ b__&c=__", "x", MethodGet, "http://h/s", "a=__ b__&c=__"},
      {"http://h/s?q=__QUERY__#frag", "x", MethodGet, "http://h/s", "q=x"},
      {"http://h/s?q=__QUERY__", "Beatles \"let it be\"", MethodGet, "http://h/s",
       "q=Beatles+%22let+it+be%22"},
      {"", "x", MethodGet, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    EngineRequest request = Build(c.action, WithQuery(c.query));
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.url, c.url);
    EXPECT_EQ(request.params, c.params);
  }
}

TEST(BuildRequestTest, VarsAndDate) {
  QueryFields fields;
  fields.query = "q";
  fields.var1 = "rock, pop";
  fields.var2 = "alt.music";
  fields.var3 = std::string(300, 'a');
  fields.var4 = "AND";
  fields.daysBack = 0;
  EngineRequest request = Build(
      "http://h/s?v=__VAR1__&s=__SUBJECT__&g=__GROUP__&a=__AUTHOR__&o=__OPER__&d=__DATEFROM__",
      fields);
  CalendarDate today = Today();
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string date = std::string(kMonths[today.month - 1]) + "+" + std::to_string(today.day) +
                     "+" + std::to_string(today.year);
  EXPECT_EQ(request.params, "v=rock+pop&s=rock%2C+pop&g=alt.music&a=" + std::string(199, 'a') +
                                "&o=AND&d=" + date);
}

TEST(BuildRequestTest, DateFromGoesBackAcrossMonths) {
  CalendarDate today = Today();
  CalendarDate back = DayNumberToDate(DayNumber(today.day, today.month, today.year) - 40);
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  EXPECT_EQ(DateFromText(40), std::string(kMonths[back.month - 1]) + " " +
                                  std::to_string(back.day) + " " + std::to_string(back.year));
}

TEST(BuildRequestTest, LongValuesAreCutNeverOverrun) {
  // Every query character encodes to three; the params stop below their size on a whole "%XX".
  EngineRequest request = Build("http://h/s?a=__QUERY__&b=__QUERY__&c=__QUERY__",
                                WithQuery(std::string(1000, '"')));
  EXPECT_GT(request.params.size(), kRequestParamsSize - 4);
  EXPECT_LE(request.params.size(), kRequestParamsSize - 1);
  EXPECT_LE(request.params.rfind('%'), request.params.size() - 3) << "no half %XX at the end";
  std::string longAction = "http://h/" + std::string(3000, 'p') + "?q=" + std::string(3000, 'v');
  request = Build(longAction, WithQuery("x"));
  EXPECT_EQ(request.url.size(), kRequestUrlSize - 1);
  EXPECT_EQ(request.params.size(), kParamTemplateSize - 1);
}

TEST(BuildRequestTest, CounterKeyAndHeaders) {
  EngineDefinition engine;
  engine.action = "https://h/s?q=__QUERY__&p=__COUNTER__&k=__KEY__";
  engine.counter = CounterPaging{true, 0, 50};
  engine.headers = {"Accept: application/json", "Authorization: Bearer __KEY__",
                    "X-Query: __QUERY__"};
  QueryFields fields = WithQuery("a b");
  fields.userKey = "k/y z";
  EngineRequest request;
  BuildRequest(request, fields, engine);
  EXPECT_EQ(request.url, "https://h/s");
  EXPECT_EQ(request.params, "q=a+b&p=0&k=k%2Fy+z");
  request.pageIndex = 3;
  EXPECT_EQ(RequestPlaceholderValue("__counter__", request, engine), "150");
  EXPECT_EQ(RequestPlaceholderValue("__NEXT__", request, engine), std::nullopt);
  using Headers = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(RequestHeaders(request, engine),
            (Headers{{"Accept", "application/json"},
                     {"Authorization", "Bearer k/y z"},
                     {"X-Query", "a b"}}));
  // A key pasted with a line break never adds a header line of its own.
  request.fields.userKey = "k\r\nX-Evil: 1";
  EXPECT_EQ(RequestHeaders(request, engine)[1].second, "Bearer kX-Evil: 1");
  EXPECT_TRUE(UsesUserKey(engine));
  engine.action = "https://h/s";
  engine.headers.clear();
  EXPECT_FALSE(UsesUserKey(engine));
  engine.follow = "https://h/i/__ID__?k=__key__";
  EXPECT_TRUE(UsesUserKey(engine));
  // Neither the key nor its encoded form survives in what is shown or stored.
  EXPECT_EQ(WithoutUserKey("https://h/s?k=k%2Fy+z&raw=k/y z", "k/y z"),
            "https://h/s?k=__KEY__&raw=__KEY__");
  EXPECT_EQ(WithoutUserKey("no key here", ""), "no key here");
}

TEST(RequestAddressTest, GetAndPost) {
  EngineRequest get{MethodGet, "http://h/s", "q=a"};
  EXPECT_EQ(RequestAddress(get), "http://h/s?q=a");
  EXPECT_EQ(RequestBody(get), "");
  EngineRequest empty{MethodGet, "http://h/s", ""};
  EXPECT_EQ(RequestAddress(empty), "http://h/s?");
  EngineRequest post{MethodPost, "http://h/s", "q=a"};
  EXPECT_EQ(RequestAddress(post), "http://h/s");
  EXPECT_EQ(RequestBody(post), "q=a");
  EngineRequest huge{MethodGet, std::string(1023, 'u'), std::string(2023, 'p')};
  EXPECT_EQ(RequestAddress(huge).size(), kGetAddressSize - 1);
}

}  // namespace
}  // namespace sondrel
