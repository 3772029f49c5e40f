// The local music index that the demo searches: each engine's pages hold what its definition
// expects, the cookie, redirect and POST engines behave as their definitions assume, result
// files honour ranges, and the demo definitions compile and extract results from every engine.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_definition.h"
#include "engines/page_extraction.h"
#include "engines/query.h"
#include "net/cookies.h"
#include "net/ftp_transfer.h"
#include "net/http_connection.h"
#include "net/socket_io.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "testkit/ftp_server.h"
#include "testkit/music_index.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::MusicIndex;
using testkit::RunCommand;
using testkit::ShellQuote;

constexpr int kTimeoutSeconds = 10;
constexpr std::size_t kPageCapacity = 1 << 20;
constexpr int kEngineCount = 6;

struct Fetched {
  int result = 0;
  std::string body;
  std::string workUrl;
};

Fetched Fetch(const std::string& url, bool cookies = false,
              std::optional<std::string> postBody = std::nullopt) {
  HttpRequest request;
  request.url = url;
  request.useCookies = cookies;
  request.bodyCapacity = kPageCapacity;
  if (postBody) {
    request.method = kHttpPost;
    request.postBody = *postBody;
  }
  NetProgress progress;
  progress.timeoutOn = true;
  progress.timeoutSeconds = kTimeoutSeconds;
  Fetched fetched;
  fetched.result = HttpFetchToMemory(request, progress);
  fetched.body = request.body;
  fetched.workUrl = request.workUrl;
  return fetched;
}

int Occurrences(std::string_view text, std::string_view part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

class MusicIndexTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!MusicIndex::Installed()) return;
    site_ = new MusicIndex;
    withFtp_ = testkit::VsftpdServer::Installed();
    started_ = site_->Start(withFtp_);
  }
  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
  }
  void SetUp() override {
    if (!MusicIndex::Installed()) GTEST_SKIP() << "no python3 for the music index";
    ASSERT_TRUE(started_) << site_->error();
    ClearCookies();
  }

  // The demo definitions for this site, compiled into dir_/engines.db.
  std::string CompiledDatabase() {
    dir_.Write("demo.def", site_->DefinitionText());
    std::string db = dir_.File("engines.db");
    EXPECT_EQ(CompileDefinitions(dir_.File("demo.def"), db, 0), 1);
    return db;
  }

  static MusicIndex* site_;
  static bool started_;
  static bool withFtp_;
  testkit::TempDir dir_;
};

MusicIndex* MusicIndexTest::site_ = nullptr;
bool MusicIndexTest::started_ = false;
bool MusicIndexTest::withFtp_ = false;

TEST_F(MusicIndexTest, EachEnginePageHoldsItsResultMarkup) {
  struct Case {
    const char* label;
    std::string path;
    std::optional<std::string> post;
    bool cookies;
    const char* marker;  // the entry markup the engine's FORMAT reads
    int minimum;
    int maximum;
    std::string finalPath;  // where redirects end
  };
  const Case cases[] = {
      {"paged list, page 1", "/tracks/find?q=rock&max=10", {}, false,
       "<li><a href=\"/files/rock-", 10, 10, ""},
      {"paged list, last page", "/tracks/find?q=rock&max=10&page=3", {}, false,
       "<li><a href=\"/files/rock-", 10, 10, ""},
      {"paged list, past the end", "/tracks/find?q=rock&max=10&page=4", {}, false,
       "<li><a href=\"/files/rock-", 0, 0, ""},
      {"anchor listing", "/shelf/?s=rock", {}, false, ".mp3\">", 2, 100, ""},
      {"posted form", "/postbox/search", "terms=rock&kind=audio", false,
       "<tr><td><a href=\"/files/", 6, 6, ""},
      {"redirect script links", "/hub/search?q=rock", {}, false,
       "<div class=\"song\"><a href=\"/go?u=http%3A%2F%2F127.0.0.1%3A", 1, 100, ""},
      {"cookie engine", "/jar/search?q=rock", {}, true, "<p class=\"r\"><a href=\"out.php?to=",
       1, 100, "/jar/search?q=rock&s=1"},
      {"moved query", "/moved/query?q=Rock,granite", {}, false, "<tr class=\"hit\"><td><a href='",
       1, 100, "/moved/results/rock-granite.html"},
      {"nothing matches", "/hub/search?q=zzz", {}, false, "<div class=\"song\">", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ClearCookies();
    Fetched page = Fetch(site_->Url(c.path), c.cookies, c.post);
    ASSERT_EQ(page.result, kFetchDone);
    int count = Occurrences(page.body, c.marker);
    EXPECT_GE(count, c.minimum);
    EXPECT_LE(count, c.maximum);
    EXPECT_EQ(page.workUrl, site_->Url(c.finalPath.empty() ? c.path : c.finalPath));
  }

  // The next-page links the definitions capture: a "Prev" before "Next" in the middle, none
  // at the end; the posted form carries its next page in hidden fields.
  std::string middle = Fetch(site_->Url("/tracks/find?q=rock&max=10&page=2")).body;
  EXPECT_NE(middle.find("<b>Prev</b></a> <a href=\"find?q=rock&amp;max=10&amp;page=3\">Next"),
            std::string::npos);
  EXPECT_EQ(Fetch(site_->Url("/tracks/find?q=rock&max=10&page=3")).body.find(">Next<"),
            std::string::npos);
  std::string posted = Fetch(site_->Url("/postbox/search"), false, "terms=rock").body;
  EXPECT_NE(posted.find("<input type=\"hidden\" name=\"page\" value=\"2\">"), std::string::npos);
  // The anchor listing mixes the music links with noise, and FTP mirrors when there is FTP.
  std::string shelf = Fetch(site_->Url("/shelf/?s=rock")).body;
  EXPECT_NE(shelf.find(".jpg\">"), std::string::npos);
  EXPECT_NE(shelf.find(".m3u\">"), std::string::npos);
  EXPECT_EQ(shelf.find("href=\"ftp://") != std::string::npos, withFtp_);
}

TEST_F(MusicIndexTest, PostEngineAnswersOnlyThePostedForm) {
  EXPECT_EQ(Fetch(site_->Url("/postbox/search?terms=rock")).result, kFetchHttpError);
  // Further pages are plain links.
  Fetched second = Fetch(site_->Url("/postbox/search?terms=rock&page=2"));
  ASSERT_EQ(second.result, kFetchDone);
  EXPECT_GE(Occurrences(second.body, "<tr><td><a href=\"/files/"), 1);
}

TEST_F(MusicIndexTest, CookieEngineListsNothingWithoutItsCookie) {
  // Without cookies the hand-out redirect is followed but the session never comes back.
  Fetched refused = Fetch(site_->Url("/jar/search?q=rock"), false);
  ASSERT_EQ(refused.result, kFetchDone);
  EXPECT_NE(refused.body.find("no cookie"), std::string::npos);
  EXPECT_EQ(refused.body.find("out.php"), std::string::npos);

  // The cookie of the home page opens the result page directly.
  ASSERT_EQ(Fetch(site_->Url("/jar/"), true).result, kFetchDone);
  Fetched opened = Fetch(site_->Url("/jar/search?q=rock&s=1"), true);
  ASSERT_EQ(opened.result, kFetchDone);
  EXPECT_EQ(opened.body.find("no cookie"), std::string::npos);
  EXPECT_GE(Occurrences(opened.body, "out.php?to="), 1);
}

TEST_F(MusicIndexTest, ResultFilesHonourRangesAndRedirectScripts) {
  std::string page = Fetch(site_->Url("/tracks/find?q=jazz&max=10")).body;
  std::size_t at = page.find("<li><a href=\"/files/jazz-");
  ASSERT_NE(at, std::string::npos);
  at += std::strlen("<li><a href=\"");
  std::string path = page.substr(at, page.find('"', at) - at);
  Fetched whole = Fetch(site_->Url(path));
  ASSERT_EQ(whole.result, kFetchDone);
  ASSERT_GT(whole.body.size(), 10000u);
  EXPECT_EQ(whole.body.substr(0, 3), "ID3");
  EXPECT_EQ(Fetch(site_->Url(path)).body, whole.body);  // the content is fixed

  std::int64_t total = 0;
  std::string type;
  EXPECT_EQ(HttpProbe(total, type, site_->Url(path), false, "", 0, std::nullopt, std::nullopt,
                      kTimeoutSeconds, true, nullptr, nullptr),
            1);
  EXPECT_EQ(total, static_cast<std::int64_t>(whole.body.size()));
  EXPECT_EQ(type, "audio/mpeg");

  // A resumed download asks for the rest with a range and must end up with the whole file.
  struct Resume {
    const char* label;
    std::size_t have;
  };
  for (Resume r : {Resume{"partial", 1000}, Resume{"all but one byte", whole.body.size() - 1}}) {
    SCOPED_TRACE(r.label);
    dir_.Write("song.mp3", whole.body.substr(0, r.have));
    EXPECT_EQ(HttpFetchToFile(dir_.File("song.mp3"), site_->Url(path), true, false, "", 0,
                              kTimeoutSeconds, nullptr, nullptr, nullptr),
              kFetchDone);
    EXPECT_TRUE(dir_.Read("song.mp3") == whole.body);
  }

  // The site itself answers a range with 206 and the rest, and a range past the end with 416.
  for (std::size_t from : {std::size_t{1000}, whole.body.size()}) {
    SCOPED_TRACE(from);
    HttpRequest request;
    request.url = site_->Url(path);
    request.resume = true;
    request.resumeOffset = static_cast<std::int64_t>(from);
    NetProgress progress;
    progress.timeoutOn = true;
    progress.timeoutSeconds = kTimeoutSeconds;
    std::string header;
    HttpStream connection = HttpOpen(request, header, kHeaderBufferSize, progress);
    const std::string size = std::to_string(whole.body.size());
    if (from == whole.body.size()) {
      EXPECT_FALSE(connection);
      EXPECT_TRUE(header.starts_with("HTTP/1.0 416")) << header;
      EXPECT_NE(header.find("Content-Range: bytes */" + size + "\r\n"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(connection);
    EXPECT_TRUE(header.starts_with("HTTP/1.0 206")) << header;
    EXPECT_NE(header.find("Content-Range: bytes 1000-" + std::to_string(whole.body.size() - 1) +
                          "/" + size + "\r\n"),
              std::string::npos)
        << header;
    std::string rest;
    char block[kBodyBlock];
    for (long got; (got = HttpReadBlock(connection, block, sizeof block, progress)) > 0;) {
      rest.append(block, static_cast<std::size_t>(got));
    }
    connection.Close();
    EXPECT_TRUE(rest == whole.body.substr(from));
  }

  // The redirect script hands out the real file; a missing file is a 404.
  Fetched viaScript = Fetch(site_->Url("/go?u=" + site_->Url(path)));
  EXPECT_EQ(viaScript.workUrl, site_->Url(path));
  EXPECT_TRUE(viaScript.body == whole.body);
  EXPECT_EQ(Fetch(site_->Url("/files/no-such-song.mp3")).result, kFetchHttpError);
}

TEST_F(MusicIndexTest, DemoDefinitionsCompileAndGiveOneRequestPerEngine) {
  dir_.Write("demo.def", site_->DefinitionText());
  std::string cli = std::string(SONDREL_CLI) + " --home " + ShellQuote(dir_.File("home"));
  testkit::CommandResult compiled =
      RunCommand(cli + " compile " + ShellQuote(dir_.File("demo.def")) + " " +
                 ShellQuote(dir_.File("demo.db")) + " 0");
  ASSERT_EQ(compiled.status, 0) << compiled.err;

  testkit::CommandResult query =
      RunCommand(cli + " query rock --db " + ShellQuote(dir_.File("demo.db")));
  ASSERT_EQ(query.status, 0) << query.err;
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; start < query.out.size(); start = end + 1) {
    end = query.out.find('\n', start);
    if (end == std::string::npos) end = query.out.size();
    lines.push_back(query.out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kEngineCount)) << query.out;
  const std::string base = site_->Url("/");
  const std::string expected[] = {
      "Demo Tracks\tGET\t" + base + "tracks/find?q=rock&max=10",
      "Anchor Shelf\tGET\t" + base + "shelf/?s=rock",
      "Post Box\tPOST\t" + base + "postbox/search\tterms=rock&kind=audio&since=",
      "Redirect Hub\tGET\t" + base + "hub/search?q=rock",
      "Cookie Jar\tGET\t" + base + "jar/search?q=rock",
      "Moved Search\tGET\t" + base + "moved/query?q=rock",
  };
  for (int i = 0; i < kEngineCount; ++i) {
    EXPECT_TRUE(lines[i].starts_with(expected[i])) << lines[i];
  }
  // The template never leaks into what is compiled.
  EXPECT_EQ(site_->DefinitionText().find("@PORT@"), std::string::npos);
}

// Runs every engine of the list page after page over blocking fetches (cookies on, the final
// address of each page as its base) through the result extraction, into document.
std::map<std::string, int> SearchEngines(EngineList& list, SearchDocument& document) {
  Settings settings;
  ExtractionContext job{document, settings, nullptr, nullptr, nullptr, nullptr};
  std::map<std::string, int> pages;
  ClearCookies();
  BeginSearch(document);
  ResetSearchState(list);
  QueryFields fields;
  fields.query = document.query;
  for (auto& engine : list) {
    EngineRequest request;
    BuildRequest(request, fields, *engine);
    for (int page = 0; page < 10; ++page) {
      HttpRequest http;
      http.useCookies = true;
      http.bodyCapacity = kPageCapacity;
      if (page == 0) http.referer = engine->homeUrl;
      if (request.method == MethodPost) {
        http.url = request.url;
        http.method = kHttpPost;
        http.postBody = request.params;
      } else {
        http.url = RequestAddress(request);
      }
      NetProgress progress;
      progress.timeoutOn = true;
      progress.timeoutSeconds = kTimeoutSeconds;
      if (HttpFetchToMemory(http, progress) != kFetchDone) break;
      ++pages[engine->name];
      request.url = http.workUrl;

      const std::string& body = http.body;
      std::size_t offset = 0;
      PageReader reader = [&](char* dst, int room, int& lastRead, std::uint64_t&) {
        std::size_t n = std::min(static_cast<std::size_t>(room - lastRead), body.size() - offset);
        std::memcpy(dst + lastRead, body.data() + offset, n);
        offset += n;
        lastRead += static_cast<int>(n);
        return lastRead == room ? kReadFull : kReadComplete;
      };
      std::vector<char> window(kPageWindowSize + kPageWindowSlack);
      PageExtraction extraction;
      BeginPage(extraction, reader, window, kPageWindowSize, *engine, request, job);
      int steps = 0;
      while (StepPageExtraction(extraction) != 1 && ++steps < 100000) {
      }
      if (!extraction.nextPage) break;
    }
  }
  EndSearch(document);
  return pages;
}

TEST_F(MusicIndexTest, DemoDefinitionsExtractResultsFromEveryEngine) {
  EngineList list;
  LoadedDatabase info;
  ASSERT_TRUE(LoadDatabase(CompiledDatabase(), list, info));
  ASSERT_EQ(list.Count(), kEngineCount);
  const std::string files = site_->Url("/files/");
  const std::string ftpFiles = withFtp_ ? site_->FtpUrl("/pub/") : "no ftp";

  for (std::uint8_t duplicates : {kKeepDuplicates, kRemoveDuplicateUrls}) {
    SCOPED_TRACE(duplicates == kKeepDuplicates ? "keeping duplicates" : "removing duplicates");
    SearchDocument document;
    document.query = "rock";
    document.duplicates = duplicates;
    std::map<std::string, int> pages = SearchEngines(list, document);

    std::map<std::string, int> found;
    std::set<std::string> urls;
    int ftp = 0;
    for (int i = 0; i < document.entries.Count(); ++i) {
      const ResultEntry& entry = *document.entries.Get(i);
      ++found[entry.engine];
      urls.insert(entry.url);
      // Only music files, with their real addresses: no ads, covers, shop pages or scripts.
      bool onHttp = entry.url.starts_with(files);
      bool onFtp = entry.url.starts_with(ftpFiles);
      ftp += onFtp;
      EXPECT_TRUE((onHttp || onFtp) && entry.url.ends_with(".mp3")) << entry.url;
      EXPECT_EQ(entry.name.find("Sponsored"), std::string::npos);
      EXPECT_EQ(entry.name.find("&amp;"), std::string::npos) << entry.name;
      EXPECT_NE(entry.name.find(" - "), std::string::npos) << entry.name;
    }
    for (const auto& engine : list) {
      EXPECT_GE(found[engine->name], 1) << engine->name;
    }
    EXPECT_EQ(ftp > 0, withFtp_);
    if (duplicates == kKeepDuplicates) {
      // Three pages of ten, and two pages of the posted form.
      EXPECT_EQ(pages["Demo Tracks"], 3);
      EXPECT_EQ(found["Demo Tracks"], 30);
      EXPECT_EQ(pages["Post Box"], 2);
      EXPECT_GT(found["Post Box"], 6);
      EXPECT_LT(urls.size(), static_cast<std::size_t>(document.entries.Count()));
    } else {
      EXPECT_EQ(urls.size(), static_cast<std::size_t>(document.entries.Count()));
    }
  }

  // Each FTP result is the same file as its HTTP twin.
  if (!withFtp_) return;
  Fetched listing = Fetch(site_->Url("/shelf/?s=rock"));
  std::size_t at = listing.body.find("href=\"" + ftpFiles);
  ASSERT_NE(at, std::string::npos);
  at += std::strlen("href=\"");
  std::string ftpUrl = listing.body.substr(at, listing.body.find('"', at) - at);
  std::string name = ftpUrl.substr(ftpFiles.size());
  ASSERT_EQ(FtpDownload(dir_.File("ftp.mp3"), ftpUrl, false, kTimeoutSeconds, nullptr, nullptr,
                        nullptr),
            1);
  EXPECT_TRUE(dir_.Read("ftp.mp3") == Fetch(files + name).body);
}

}  // namespace
}  // namespace sondrel
