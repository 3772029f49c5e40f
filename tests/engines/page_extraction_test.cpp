#include "engines/page_extraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/extract_entry.h"
#include "net/net_progress.h"
#include "results/search_document.h"
#include "results/settings.h"

namespace sondrel {
namespace {

constexpr std::size_t kNoFailure = std::string::npos;

// A page delivered from memory the way a connection trickles it in: pieces of at most
// `piece` bytes, "nothing yet" on every pendingEvery-th call, a failure once failAt bytes
// have been delivered.
struct MemoryConnection {
  std::string page;
  std::size_t piece = 4096;
  int pendingEvery = 0;
  std::size_t failAt = kNoFailure;
  std::size_t at = 0;
  int calls = 0;

  int Read(char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
    ++calls;
    if (pendingEvery > 0 && calls % pendingEvery == 0) return kReadPending;
    if (at >= failAt) return kReadFailed;
    if (lastRead >= room) return kReadFull;
    if (at >= page.size()) return kReadComplete;
    std::size_t n =
        std::min({piece, static_cast<std::size_t>(room - lastRead), page.size() - at, failAt - at});
    std::memcpy(dst + lastRead, page.data() + at, n);
    lastRead += static_cast<int>(n);
    at += n;
    lastActivity = NowSeconds();
    return lastRead == room ? kReadFull : kReadPending;
  }
};

std::unique_ptr<VarPattern> Pattern(std::string pattern) {
  auto p = std::make_unique<VarPattern>();
  p->pattern = std::move(pattern);
  return p;
}

struct Found {
  std::string name;
  std::string url;
  std::string preview;
  bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f) {
  return out << "{" << f.name << " | " << f.url << " | " << f.preview << "}";
}

class PageExtractionTest : public ::testing::Test {
 protected:
  PageExtractionTest() {
    SetStopFlag(false);
    engine.name = "Music Index";
    engine.format = "<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>";
    settings.maxResultsPerEngine = 10000;
    settings.maxResultsTotal = 10000;
    BeginSearch(document);
  }
  ~PageExtractionTest() override { SetStopFlag(false); }

  void NewSearch() {
    document.entries.Clear();
    BeginSearch(document);
    engine.foundCount = 0;
    engine.nextPosition = 0;
    added.clear();
  }

  // Runs the step machine over one page; the steps are bounded so a hang fails the test.
  void RunPage(MemoryConnection& connection, const std::string& pageUrl = "http://h/d/p1.htm") {
    request.url = pageUrl;
    request.params.clear();
    BeginPage(
        extraction,
        [&connection](char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
          return connection.Read(dst, room, lastRead, lastActivity);
        },
        window, kPageWindowSize, engine, request, job);
    const std::size_t limit = 4 * connection.page.size() + 1000;
    std::size_t steps = 0;
    while (StepPageExtraction(extraction) == kReadPending) {
      ASSERT_LT(++steps, limit) << "the machine does not finish";
    }
  }

  std::vector<Found> RunPage(const std::string& page, std::size_t piece = 4096) {
    MemoryConnection connection{page, piece};
    RunPage(connection);
    return Entries();
  }

  // What one final scan over the whole cleaned page finds, for comparison with the machine.
  std::vector<Found> ScanWhole(std::string page) {
    NewSearch();
    page.resize(static_cast<std::size_t>(CleanChunk(page.data(), static_cast<int>(page.size()))));
    ResetPageState(engine);
    request.url = "http://h/d/p1.htm";
    int consumed = 0;
    bool nextPage = false;
    bool varsFound = false;
    EngineRequest next;
    (void)Scan(page, engine, request, job, true, consumed, nextPage, varsFound, next);
    ReleasePageValues(engine);
    std::vector<Found> found = Entries();
    NewSearch();
    return found;
  }

  std::vector<Found> Entries() const {
    std::vector<Found> out;
    for (const auto& entry : document.entries) {
      out.push_back({entry->name, entry->url, entry->preview});
    }
    return out;
  }

  SearchDocument document;
  Settings settings;
  std::vector<int> added;  // indexes handed to resultAdded
  ExtractionContext job{document,
                        settings,
                        {},
                        [this](const ResultEntry& entry, int index) {
                          EXPECT_EQ(&entry, document.entries.Get(index));
                          added.push_back(index);
                        },
                        {}, {}};
  EngineDefinition engine;
  EngineRequest request;
  PageExtraction extraction;
  std::vector<char> window = std::vector<char>(kPageWindowSize + kPageWindowSlack);
};

// count entries whose titles and previews vary in length and hold line breaks of every kind.
std::string EntryList(int count, int first = 0) {
  std::string page;
  for (int i = first; i < first + count; ++i) {
    const std::string n = std::to_string(i);
    page += "<li>\r\n\t<a href=\"f" + n + ".mp3\">Song\r\n" + n + std::string(i % 37, 't') +
            "\n</a> preview\t" + n + std::string(i % 53, 'p') + "\r\r\n</li>\n";
  }
  return page;
}

TEST(CleanChunkTest, Cases) {
  struct Case {
    std::string in;
    char previous;
    std::string out;
  };
  const Case cases[] = {
      {"ab>\r\n\t  <cd", 0, "ab>  <cd"},
      {"x\r\ny", 0, "x y"},
      {"<a>\n\r\t\f<b>", 0, "<a><b>"},
      {"a\r\r\nb", 0, "a  b"},
      {"a\n\rb", 0, "a  b"},
      {"a\tb\fc", 0, "a b c"},
      {"text \r\n<b>", 0, "text <b>"},
      {"\n\nx", '>', "x"},
      {"\n\nx", 'y', "  x"},
      {"x\n", 0, "x "},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    std::string text = c.in;
    text.resize(static_cast<std::size_t>(
        CleanChunk(text.data(), static_cast<int>(text.size()), c.previous)));
    EXPECT_EQ(text, c.out);
  }
}

TEST_F(PageExtractionTest, MachineFindsWhatOneScanOfTheWholePageFinds) {
  const std::string page = "<html><ul>" + EntryList(400) + "</ul></html>";
  const std::vector<Found> whole = ScanWhole(page);
  ASSERT_EQ(whole.size(), 400u);
  EXPECT_EQ(whole[3], (Found{"Song 3ttt", "http://h/d/f3.mp3", "preview 3ppp"}));
  for (std::size_t piece :
       {std::size_t{1}, std::size_t{13}, std::size_t{4096}, std::size_t{20000}}) {
    SCOPED_TRACE(piece);
    NewSearch();
    MemoryConnection connection{page, piece, 3};
    RunPage(connection);
    EXPECT_EQ(Entries(), whole);
    EXPECT_EQ(engine.entriesThisPage, 400);
    ASSERT_EQ(added.size(), 400u);
    EXPECT_EQ(added.back(), 399);
    EXPECT_EQ(document.entries.Get(399)->position, 399);
    EXPECT_FALSE(extraction.nextPage);  // no MORE
  }
}

// Window boundaries fall wherever the page puts them; sliding the page along by a filler
// puts a boundary at every offset of an entry: inside tags, comments, entities and line breaks.
TEST_F(PageExtractionTest, EveryChunkBoundaryGivesTheSameEntries) {
  struct Format {
    const char* format;
    std::string entry;  // %d: the entry's number
  };
  const Format formats[] = {
      {"<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>",
       "<li>\r\n<a href=\"f%d.mp3\">A\r\nB &amp; %d</a>\r\n p\tq\r\n</li>\n"},
      {"__A__ e=mp3",
       "<!-- <a href=x.mp3>c</a> --><p class='a>b'>\r\n<A HREF=\"f%d.mp3\"><b>Song\r\n%d</b>"
       "</a><a href=skip.htm>s</a>\n"},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.format);
    engine.format = f.format;
    std::string entries;
    for (int i = 0; i < 200; ++i) {
      std::string e = f.entry;
      for (std::size_t at; (at = e.find("%d")) != std::string::npos;) {
        e.replace(at, 2, std::to_string(i));
      }
      entries += e;
    }
    const std::vector<Found> whole = ScanWhole(entries);
    ASSERT_EQ(whole.size(), 200u);
    const std::size_t entryLength = f.entry.size() + 4;
    for (std::size_t filler = 0; filler < entryLength; ++filler) {
      SCOPED_TRACE(filler);
      NewSearch();
      ASSERT_EQ(RunPage("<p>" + std::string(filler, 'x') + "</p>" + entries), whole);
    }
  }
}

TEST_F(PageExtractionTest, LimitPerEngineStopsAtTheEntryPastIt) {
  bool totalReached = false;
  job.totalLimitReached = [&totalReached] { totalReached = true; };
  settings.maxResultsPerEngine = 100;
  engine.more = "__NEXT__";
  engine.varPatterns.Append(Pattern("<a href=\"__NEXT__\">Next"));
  const std::string page = "<a href=\"p2.htm\">Next" + EntryList(150);
  RunPage(page);
  EXPECT_EQ(document.entries.Count(), 100);
  EXPECT_EQ(engine.foundCount, 100);
  EXPECT_EQ(engine.entriesThisPage, 101);  // the 101st was extracted, not added
  EXPECT_FALSE(extraction.going);
  EXPECT_FALSE(extraction.nextPage);
  EXPECT_FALSE(totalReached);  // only this engine stops
}

// The entry array changes only inside the interface-thread step, together with its row, so
// the front end never reads it while it grows.
TEST_F(PageExtractionTest, AppendAndRowRunTogetherInTheInterfaceStep) {
  bool inside = false;
  int steps = 0;
  job.onInterfaceThread = [&](const std::function<void()>& fn) {
    const int before = document.entries.Count();
    inside = true;
    fn();
    inside = false;
    ++steps;
    EXPECT_EQ(document.entries.Count(), before + 1);
  };
  job.resultAdded = [&](const ResultEntry&, int index) {
    EXPECT_TRUE(inside);
    added.push_back(index);
  };
  RunPage("<ul>" + EntryList(30) + "</ul>");
  EXPECT_EQ(steps, 30);
  EXPECT_EQ(added.size(), 30u);
  EXPECT_EQ(document.entries.Count(), 30);
}

TEST_F(PageExtractionTest, TotalLimitStopsTheSearch) {
  // Entries kept from an earlier search (merge) count toward the limit.
  const auto keep = [this](int count) {
    for (int i = document.entries.Count(); i < count; ++i) {
      ResultEntry entry = NewEntry();
      entry.url = "http://kept/" + std::to_string(i);
      document.entries.Append(std::make_unique<ResultEntry>(entry));
    }
  };
  int reached = 0;
  job.totalLimitReached = [&reached] { ++reached; };
  settings.maxResultsTotal = 30;
  keep(10);
  RunPage(EntryList(50));
  EXPECT_EQ(document.entries.Count(), 30);
  EXPECT_EQ(reached, 1);
  EXPECT_FALSE(extraction.going);

  // The list's own limit: up to 16000 one more is taken, past it none.
  settings.maxResultsTotal = 30000;
  keep(kResultListMax);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    reached = 0;
    RunPage(EntryList(50, 100 * run + 100));
    EXPECT_EQ(document.entries.Count(), kResultListMax + 1);
    EXPECT_EQ(reached, 1);
    EXPECT_FALSE(extraction.going);
  }
}

TEST_F(PageExtractionTest, NextPageFromPageVariables) {
  engine.more = "/other/__NEXT__";
  engine.varPatterns.Append(Pattern("<a href=\"__NEXT__\">Next"));
  // The variable comes first; the entries after it span several windows.
  const std::string page =
      "<a href=\"x\"><b>Prev</b></a> <a href=\"p2.htm\">Next</a><ul>" + EntryList(300) + "</ul>";
  const std::vector<Found> found = RunPage(page, 777);
  ASSERT_EQ(found.size(), 300u);
  for (const Found& f : found) {
    // Links keep resolving against the page's own address after the next page was found.
    ASSERT_EQ(f.url.rfind("http://h/d/f", 0), 0u) << f.url;
  }
  EXPECT_TRUE(extraction.nextPage);
  EXPECT_EQ(request.url, "http://h/other/p2.htm");
  EXPECT_EQ(request.method, MethodGet);
  EXPECT_TRUE(request.params.empty());
  EXPECT_FALSE(engine.varPatterns.Get(0)->value.has_value());  // released with the page
}

TEST_F(PageExtractionTest, PageEndings) {
  struct Case {
    const char* label;
    std::string startMarker;
    std::string more;
    std::string page;
    int entries;
    bool nextPage;
    std::string nextUrl;
  };
  const std::string next = "<a href=\"p2.htm\">Next</a>";
  const std::string back = "<a href=\"p1.htm\">Next</a>";
  const Case cases[] = {
      {"start marker found", "Results", "__NEXT__",
       "<li><a href=\"no.mp3\">x</a> y</li>Results" + EntryList(5) + next, 5, true,
       "http://h/d/p2.htm"},
      {"start marker missing", "Results", "__NEXT__", EntryList(5) + next, 0, false, ""},
      {"variable nobody provides", "", "__NEXT__&s=__START__", EntryList(5) + next, 5, false, ""},
      {"no entries", "", "__NEXT__", "<p>nothing</p>" + next, 0, false, ""},
      {"next page is this page", "", "__NEXT__", EntryList(5) + back, 5, true, "http://h/d/p1.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    NewSearch();
    engine.startMarker = c.startMarker;
    engine.more = c.more;
    engine.varPatterns.Clear();
    engine.varPatterns.Append(Pattern("<a href=\"__NEXT__\">Next"));
    MemoryConnection connection{c.page, 4096};
    RunPage(connection);
    EXPECT_EQ(document.entries.Count(), c.entries);
    EXPECT_EQ(extraction.nextPage, c.nextPage);
    EXPECT_EQ(extraction.going, c.nextPage);
    if (c.nextPage) {
      EXPECT_EQ(request.url, c.nextUrl);
    }
  }
}

// A failing read ends the page with a final scan of everything received, including the bytes
// of the read that failed.
TEST_F(PageExtractionTest, ReadFailureScansWhatArrived) {
  const std::string page = EntryList(200);
  for (std::size_t failAt : {std::size_t{0}, std::size_t{3000}, std::size_t{9998},
                             std::size_t{20000}, std::size_t{20001}}) {
    SCOPED_TRACE(failAt);
    const std::vector<Found> whole = ScanWhole(page.substr(0, failAt));
    MemoryConnection connection{page, 1000, 0, failAt};
    RunPage(connection);
    EXPECT_EQ(Entries(), whole);
    EXPECT_EQ(extraction.state, kExtractDone);
    NewSearch();
  }
}

TEST_F(PageExtractionTest, RefusedLinksDoNotEndThePage) {
  engine.urlFormat = "e=mp3";
  std::string page;
  for (int i = 0; i < 60; ++i) {
    const std::string ext = i % 3 == 0 ? ".htm" : ".mp3";
    page +=
        "<li><a href=\"f" + std::to_string(i) + ext + "\">S" + std::to_string(i) + "</a> p</li>";
  }
  RunPage(page);
  EXPECT_EQ(document.entries.Count(), 40);
  EXPECT_EQ(engine.entriesThisPage, 40);
}

TEST_F(PageExtractionTest, HostilePagesEndCleanly) {
  std::mt19937 random(7);
  std::string garbage(300000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  std::string tagSoup;
  const char* pieces[] = {"<",        ">",    "<!--", "-->",  "\"",   "'",     "=",
                          "<a href=", "\r\n", "__",   "<li>", "</a>", "a.mp3", " "};
  while (tagSoup.size() < 300000) tagSoup += pieces[random() % std::size(pieces)];
  const std::string giant = "<li><a href=\"big.mp3\">" + std::string(25000, 'T') + "</a> p</li>";
  struct Case {
    const char* label;
    std::string page;
    int atLeast;
    bool big = false;
  };
  const Case cases[] = {
      {"binary garbage", garbage, 0},
      {"tag soup", tagSoup, 0},
      {"10 MB without a line break",
       EntryList(3) + std::string(10 * 1024 * 1024, 'a') + EntryList(3, 3), 6, true},
      {"entry longer than the window", EntryList(3) + giant + EntryList(3, 3), 6},
      {"open comment to the end", EntryList(3) + "<!-- " + std::string(30000, 'c'), 3},
      {"open tag to the end", EntryList(3) + "<a href=\"" + std::string(30000, 'c'), 3},
  };
  for (const char* format : {"<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>",
                             "__A__ e=mp3", "__URL__", "x__URL____TITLE__"}) {
    engine.format = format;
    for (const Case& c : cases) {
      const std::string_view f = format;
      if (c.big && f.find("<li>") == f.npos && f.find("__A__") == f.npos) continue;
      SCOPED_TRACE(std::string(format) + ": " + c.label);
      NewSearch();
      const std::vector<Found> found = RunPage(c.page, 8192);
      if (engine.format[0] == '<') {
        EXPECT_GE(static_cast<int>(found.size()), c.atLeast);
      }
      EXPECT_EQ(extraction.state, kExtractDone);
    }
  }
}

TEST_F(PageExtractionTest, StoppedSearchEndsThePage) {
  bool running = true;
  job.running = [&running] { return running; };
  job.idle = [&running, this] {
    if (document.entries.Count() == 10) running = false;
  };
  RunPage(EntryList(100));
  // The entry whose idle call saw the stop is still taken; nothing after it.
  EXPECT_EQ(document.entries.Count(), 11);
  EXPECT_EQ(extraction.state, kExtractDone);
}

TEST(CaptureVariablesTest, SkipsCandidatesWithTags) {
  EngineDefinition engine;
  engine.varPatterns.Append(Pattern("<a href=\"__NEXT__\">Next"));
  engine.varPatterns.Append(Pattern("start=__START__&"));
  const std::string text = "<a href=\"x\"><b>Prev</b></a> <a href=\"p2.htm\">Next";
  EXPECT_FALSE(CaptureVariables(text, engine));
  EXPECT_EQ(engine.varPatterns.Get(0)->value, "p2.htm");
  EXPECT_TRUE(engine.varPatterns.Get(0)->captured);
  EXPECT_FALSE(engine.varPatterns.Get(1)->captured);
  // The captured one is kept; the missing one is found in later text.
  EXPECT_TRUE(CaptureVariables("?start='20'&", engine));
  EXPECT_EQ(engine.varPatterns.Get(1)->value, "20");  // one pair of quotes removed
  EXPECT_EQ(engine.varPatterns.Get(0)->value, "p2.htm");
}

TEST(BuildNextPageRequestTest, Cases) {
  struct Case {
    const char* label;
    std::string more;
    std::string value;
    bool escape;
    bool ok;
    int method;
    std::string url;
    std::string params;
  };
  const Case cases[] = {
      {"relative GET", "__NEXT__", "p2.htm", false, true, MethodGet, "http://h/d/p2.htm", ""},
      {"decoded, not encoded", "find.cgi?__NEXT__", "q=abba&amp;start=20", false, true, MethodGet,
       "http://h/d/find.cgi", "q=abba&start=20"},
      {"form-encoded", "find.cgi?s=__NEXT__", "a b&amp;c", true, true, MethodGet,
       "http://h/d/find.cgi", "s=a+b%26c"},
      {"post", "post:/find.cgi?__NEXT__", "q=1", false, true, MethodPost, "http://h/find.cgi",
       "q=1"},
      {"placeholder case", "__next__", "p3.htm", false, true, MethodGet, "http://h/d/p3.htm", ""},
      {"unknown variable", "__NEXT____OTHER__", "p2.htm", false, false, MethodGet,
       "http://h/d/p1.htm", "old=1"},
      {"request placeholders", "s?__NEXT__&q=__QUERY__&o=__COUNTER__&k=__KEY__", "a=1", false,
       true, MethodGet, "http://h/d/s", "a=1&q=rock+roll&o=25&k=k%26y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EngineDefinition engine;
    engine.more = c.more;
    engine.escapeVars = c.escape;
    engine.varPatterns.Append(std::make_unique<VarPattern>(VarPattern{"x__NEXT__y", c.value, 1}));
    engine.counter = CounterPaging{true, 5, 10};
    EngineRequest request{MethodGet, "http://h/d/p1.htm", "old=1"};
    request.fields.query = "rock roll";
    request.fields.userKey = "k&y";
    request.pageIndex = 1;  // the second page asks for the third
    EXPECT_EQ(BuildNextPageRequest(request, engine), c.ok);
    EXPECT_EQ(request.pageIndex, c.ok ? 2 : 1);
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.url, c.url);
    EXPECT_EQ(request.params, c.params);
  }
}

TEST(BuildNextPageRequestTest, LongAddressIsCutNeverOverrun) {
  EngineDefinition engine;
  engine.more = "/find.cgi?" + std::string(1000, 'L') + "__NEXT____NEXT__";
  engine.escapeVars = 1;
  engine.varPatterns.Append(
      std::make_unique<VarPattern>(VarPattern{"x__NEXT__y", std::string(1999, '/'), 1}));
  EngineRequest request{MethodGet, "http://h/d/p1.htm", ""};
  ASSERT_TRUE(BuildNextPageRequest(request, engine));
  EXPECT_EQ(request.url, "http://h/find.cgi");
  EXPECT_EQ(request.params.substr(0, 1003), std::string(1000, 'L') + "%2F");
  EXPECT_LE(request.url.size() + 1 + request.params.size(), kNextAddressSize - 1);
}

}  // namespace
}  // namespace sondrel
