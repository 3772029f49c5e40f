#include "engines/fixture_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "net/url.h"
#include "support/paths.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

const std::string kShippedDefinitions = std::string(SONDREL_SOURCE_DIR) + "/data/engines";
const std::string kShippedFixtures = kShippedDefinitions + "/fixtures";

// The shipped definition texts in the order the build concatenates them, compiled into dir.
void CompileShipped(const testkit::TempDir& dir, EngineList& list) {
  std::vector<fs::path> texts;
  for (const auto& item : fs::directory_iterator(kShippedDefinitions)) {
    if (item.path().extension() == ".def") texts.push_back(item.path());
  }
  std::sort(texts.begin(), texts.end());
  std::string all;
  for (const fs::path& text : texts) {
    std::string part;
    ASSERT_TRUE(FileReadAll(text.string(), part)) << text;
    all += part + "\n";
  }
  dir.Write("engines.def", all);
  ASSERT_EQ(CompileDefinitions(dir.File("engines.def"), dir.File("engines.db"), 0), CompileOk);
  LoadedDatabase info;
  ASSERT_TRUE(LoadDatabase(dir.File("engines.db"), list, info));
}

// A result is a file, not a page about one: its path names an audio file, or (a streaming
// service that serves the file at one address per track) its query names the audio format.
bool IsDirectAudioLink(const std::string& url) {
  static const std::vector<std::string> kAudio = {"mp3",  "ogg", "oga", "opus",
                                                  "flac", "wav", "m4a", "aac"};
  std::string extension;
  (void)UrlExtension(url, extension);
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  if (std::find(kAudio.begin(), kAudio.end(), extension) != kAudio.end()) return true;
  return url.find("format=mp3") != std::string::npos;
}

TEST(ShippedFixtures, EveryEngineReplaysToItsExpectedDirectAudioLinks) {
  testkit::TempDir dir;
  EngineList list;
  ASSERT_NO_FATAL_FAILURE(CompileShipped(dir, list));
  ASSERT_GE(list.Count(), 5);
  for (int i = 0; i < list.Count(); ++i) {
    const FixtureCheck check = CheckEngineFixture(list, i, {kShippedFixtures});
    SCOPED_TRACE(check.engine);
    std::string differences;
    for (const std::string& line : check.differences) differences += line + "\n";
    EXPECT_EQ(check.verdict, FixtureVerdict::kPassed) << check.problem << differences;
    EXPECT_FALSE(check.results.empty());
    for (const FixtureResult& result : check.results) {
      EXPECT_TRUE(IsDirectAudioLink(result.url)) << result.url;
      EXPECT_TRUE(result.url.starts_with("https://")) << result.url;
    }
  }
}

// A small engine of the classic kind, so the checking itself is tested apart from the
// shipped definitions.
class FixtureCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("engine.def",
               "[Tiny]\n"
               "URL=http://tiny.invalid/\n"
               "FILE=tiny\n"
               "ACTION=http://tiny.invalid/find?q=__QUERY__\n"
               "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n"
               "FORMATURL=e=mp3\n");
    ASSERT_EQ(CompileDefinitions(dir_.File("engine.def"), dir_.File("engines.db"), 0), CompileOk);
    LoadedDatabase info;
    ASSERT_TRUE(LoadDatabase(dir_.File("engines.db"), list_, info));
    ASSERT_TRUE(MakeDirectories(dir_.File("fixtures/tiny")));
    Fixture("query.txt", "rock\n");
    Fixture(
        "tiny1.htm",
        "<ul><li><a href=\"a.mp3\">Alpha</a></li><li><a href=\"cover.jpg\">Cover</a></li>"
        "<li><a href=\"/b.mp3\">Beta</a></li></ul>\n\n<!-- http://tiny.invalid/d/find?q=rock -->");
    Fixture("expected.tsv",
            "Alpha\thttp://tiny.invalid/d/a.mp3\r\nBeta\thttp://tiny.invalid/b.mp3\n\n");
  }

  void Fixture(const std::string& name, const std::string& text) {
    dir_.Write("fixtures/tiny/" + name, text);
  }
  FixtureCheck Check() { return CheckEngineFixture(list_, 0, {dir_.File("fixtures")}); }

  testkit::TempDir dir_;
  EngineList list_;
};

TEST_F(FixtureCheckTest, MatchingPagesPassAndTheEngineFlagsAreKept) {
  list_.Get(0)->enabled = 0;
  const FixtureCheck check = Check();
  EXPECT_EQ(check.verdict, FixtureVerdict::kPassed) << check.problem;
  EXPECT_EQ(check.results, (std::vector<FixtureResult>{{"Alpha", "http://tiny.invalid/d/a.mp3"},
                                                       {"Beta", "http://tiny.invalid/b.mp3"}}));
  EXPECT_EQ(list_.Get(0)->enabled, 0);
}

TEST_F(FixtureCheckTest, APageThatNoLongerMatchesFailsNamingTheResult) {
  Fixture("tiny1.htm", "<ul><li><a href=\"a.mp3\">Alpha</a></li><li><b>Beta</b></li></ul>");
  const FixtureCheck check = Check();
  EXPECT_EQ(check.verdict, FixtureVerdict::kFailed);
  ASSERT_EQ(check.differences.size(), 2u);
  EXPECT_EQ(check.differences[0],
            "result 1: expected Alpha\thttp://tiny.invalid/d/a.mp3, got Alpha\t"
            "http://tiny.invalid/a.mp3");
  EXPECT_EQ(check.differences[1], "result 2: missing Beta\thttp://tiny.invalid/b.mp3");
}

TEST_F(FixtureCheckTest, AnIncompleteFixtureIsUnreadableAndAMissingOneIsNoFixture) {
  struct Case {
    const char* remove;
    const char* problem;
  };
  for (const Case& c : {Case{"query.txt", "no query.txt"}, Case{"expected.tsv", "no expected.tsv"},
                        Case{"tiny1.htm", "no page files tiny1.htm ..."}}) {
    SCOPED_TRACE(c.remove);
    SetUp();
    fs::remove(dir_.File(std::string("fixtures/tiny/") + c.remove));
    const FixtureCheck check = Check();
    EXPECT_EQ(check.verdict, FixtureVerdict::kUnreadable);
    EXPECT_EQ(check.problem, c.problem);
  }
  SetUp();
  fs::remove_all(dir_.File("fixtures/tiny"));
  EXPECT_EQ(Check().verdict, FixtureVerdict::kNoFixture);
}

TEST(CompareResults, ReportsEachDifferingPosition) {
  const std::vector<FixtureResult> expected = {{"A", "u1"}, {"B", "u2"}};
  EXPECT_TRUE(CompareResults(expected, expected).empty());
  EXPECT_EQ(CompareResults(expected, {{"A", "u1"}, {"B", "u2"}, {"C", "u3"}}),
            std::vector<std::string>{"result 3: not expected C\tu3"});
  EXPECT_EQ(CompareResults(expected, {{"B", "u2"}, {"A", "u1"}}),
            (std::vector<std::string>{"result 1: expected A\tu1, got B\tu2",
                                      "result 2: expected B\tu2, got A\tu1"}));
}

}  // namespace
}  // namespace sondrel
