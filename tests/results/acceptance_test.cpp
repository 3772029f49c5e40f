#include "results/acceptance.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

ResultEntry Entry(std::string name, std::string url, std::string preview = {}) {
  ResultEntry entry = NewEntry();
  entry.name = std::move(name);
  entry.url = std::move(url);
  entry.preview = std::move(preview);
  return entry;
}

TEST(TextMatchTest, AnyWordOfTheQueryIgnoringCase) {
  struct Case {
    const char* query;
    const char* text;
    bool match;
  } cases[] = {
      {"love song", "Song of Love", true},
      {"love song", "Lullaby", false},
      {"  rock,roll ", "ROLLING", true},
      {"a+b-c;d", "xxdxx", true},
      {"", "anything", false},
      {" ,;+- ", "anything", false},
      {"jazz", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.query) + " / " + c.text);
    EXPECT_EQ(TextMatch(c.query, c.text), c.match);
  }
}

TEST(AcceptResultTest, FilterRules) {
  SearchDocument document;
  document.query = "love song";
  document.duplicates = kKeepDuplicates;
  const ResultEntry loved = Entry("Song of Love", "http://h/x.mp3");
  const ResultEntry other = Entry("Lullaby", "http://h/love.mp3");

  document.filter = kFilterNone;
  EXPECT_TRUE(AcceptResult(document, other));
  document.filter = kFilterName;
  EXPECT_TRUE(AcceptResult(document, loved));
  EXPECT_FALSE(AcceptResult(document, other));
  document.filter = kFilterUrl;
  EXPECT_FALSE(AcceptResult(document, loved));
  EXPECT_TRUE(AcceptResult(document, other));
  document.query.clear();
  EXPECT_FALSE(AcceptResult(document, other));
  document.filter = kFilterName;
  EXPECT_FALSE(AcceptResult(document, loved));
}

TEST(AcceptResultTest, DuplicateUrlsAreRefusedOnlyUnderRuleOneAndByExactBytes) {
  SearchDocument document;
  int next = 0;
  int found = 0;
  EngineRun run{"Alpha", next, found};
  BeginSearch(document);
  const ResultEntry first = Entry("a", "http://h/Song.mp3");
  ASSERT_TRUE(AcceptResult(document, first));
  ASSERT_TRUE(AppendResult(document, first, run));
  EXPECT_FALSE(AcceptResult(document, Entry("b", "http://h/Song.mp3")));
  EXPECT_TRUE(AcceptResult(document, Entry("c", "http://h/song.mp3")));
  document.duplicates = kKeepDuplicates;
  EXPECT_TRUE(AcceptResult(document, Entry("d", "http://h/Song.mp3")));
  EndSearch(document);
  EXPECT_EQ(document.duplicateSets, nullptr);
}

TEST(AcceptResultTest, MergedEntriesCountForDuplicates) {
  SearchDocument document;
  document.entries.Append(std::make_unique<ResultEntry>(Entry("old", "http://h/old.mp3")));
  document.merge = 1;
  BeginSearch(document);
  EXPECT_EQ(document.entries.Count(), 1);
  EXPECT_FALSE(AcceptResult(document, Entry("new", "http://h/old.mp3")));
  document.merge = 0;
  BeginSearch(document);
  EXPECT_EQ(document.entries.Count(), 0);
  EXPECT_TRUE(AcceptResult(document, Entry("new", "http://h/old.mp3")));
}

TEST(AcceptResultTest, IncludeAndExcludePatternsLookAtNameAndPreview) {
  SearchDocument document;
  document.includePatterns = "*.mp3 *live*";
  EXPECT_TRUE(AcceptResult(document, Entry("track.mp3", "u1")));
  EXPECT_TRUE(AcceptResult(document, Entry("x", "u2", "a live take")));
  EXPECT_FALSE(AcceptResult(document, Entry("track.wav", "u3", "studio")));
  document.excludePatterns = "*live*";
  EXPECT_FALSE(AcceptResult(document, Entry("x", "u4", "a live take")));
  EXPECT_TRUE(AcceptResult(document, Entry("track.mp3", "u5", "studio")));
  document.includePatterns.clear();
  EXPECT_FALSE(AcceptResult(document, Entry("live set", "u6")));
}

TEST(AppendResultTest, PositionsCountersAndModifiedFlag) {
  SearchDocument document;
  BeginSearch(document);
  document.modified = false;
  int nextA = 0, foundA = 0, nextB = 5, foundB = 0;
  EngineRun a{"Alpha", nextA, foundA};
  EngineRun b{"Beta", nextB, foundB};
  ASSERT_TRUE(AppendResult(document, Entry("1", "u1"), a));
  ASSERT_TRUE(AppendResult(document, Entry("2", "u2"), b));
  ASSERT_TRUE(AppendResult(document, Entry("3", "u3"), a));
  EXPECT_EQ(document.entries.Get(0)->position, 0);
  EXPECT_EQ(document.entries.Get(1)->position, 5);
  EXPECT_EQ(document.entries.Get(2)->position, 1);
  EXPECT_EQ(nextA, 2);
  EXPECT_EQ(foundA, 2);
  EXPECT_EQ(nextB, 6);
  EXPECT_EQ(foundB, 1);
  EXPECT_TRUE(document.modified);
  EXPECT_TRUE(document.duplicateSets->Contains("u3"));
}

// A link that a page wrote with &#13;&#10; in it would end a request line and let the page
// choose the header lines that follow; stored URLs never hold a control byte.
TEST(AppendResultTest, ControlBytesInALinkArePercentEncoded) {
  struct Case {
    std::string url;
    std::string stored;
  } cases[] = {
      {"http://h/a\r\nX-Injected: 1", "http://h/a%0D%0AX-Injected: 1"},
      {std::string("ftp://h/\x00\t\x1f\x7f.mp3", sizeof("ftp://h/\x00\t\x1f\x7f.mp3") - 1),
       "ftp://h/%00%09%1F%7F.mp3"},
      {"http://h/plain%20name.mp3", "http://h/plain%20name.mp3"},
      // At the limit an escape is dropped whole rather than cut.
      {"http://h/" + std::string(kMaxEntryUrl - 10, 'x') + "\n",
       "http://h/" + std::string(kMaxEntryUrl - 10, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 40));
    SearchDocument document;
    BeginSearch(document);
    int next = 0, found = 0;
    EngineRun run{"Alpha", next, found};
    ASSERT_TRUE(AcceptResult(document, Entry("song", c.url)));
    ASSERT_TRUE(AppendResult(document, Entry("song", c.url), run));
    EXPECT_EQ(document.entries.Get(0)->url, c.stored);
    // The same link again is a duplicate of what was stored.
    document.duplicates = kRemoveDuplicateUrls;
    EXPECT_FALSE(AcceptResult(document, Entry("song", c.url)));
  }
}

TEST(AppendResultTest, FullArrayDropsTheResultAndCountsNothing) {
  SearchDocument document;
  BeginSearch(document);
  int next = 0, found = 0;
  EngineRun run{"Alpha", next, found};
  const ResultEntry entry = Entry("n", "u");
  for (int i = 0; i < PtrArray<ResultEntry>::kMaxItems; ++i) {
    ASSERT_TRUE(AppendResult(document, entry, run));
  }
  EXPECT_FALSE(AppendResult(document, entry, run));
  EXPECT_EQ(document.entries.Count(), PtrArray<ResultEntry>::kMaxItems);
  EXPECT_EQ(found, PtrArray<ResultEntry>::kMaxItems);
}

}  // namespace
}  // namespace sondrel
