#include "results/project_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "results/results_texts.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

std::string U16(int v) {
  return std::string{static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff)};
}
std::string Str(const std::string& s) {
  return U16(static_cast<int>(s.size())) + s;
}

ResultEntry SampleEntry(int i) {
  ResultEntry entry;
  entry.name = "Song " + std::to_string(i);
  entry.url = "http://host/" + std::to_string(i) + ".mp3";
  entry.engine = "Engine" + std::to_string(i % 3);
  entry.position = static_cast<std::int16_t>(i * 7 - 3);
  entry.preview = "preview &amp; " + std::to_string(i);
  entry.foundAt.day = 31;
  entry.foundAt.month = 12;
  entry.foundAt.year = 1999;
  entry.foundAt.hour = 23;
  entry.foundAt.minute = 59;
  entry.foundAt.second = static_cast<std::uint8_t>(i);
  entry.var1 = i % 2 ? "v" : "";
  entry.spare = i == 2 ? "spare" : "";
  entry.status = static_cast<std::uint8_t>(i % 6);
  entry.size = i == 0 ? -1 : 1024 * (i % 100000) + i;
  return entry;
}

void ExpectSameEntry(const ResultEntry& a, const ResultEntry& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.url, b.url);
  EXPECT_EQ(a.engine, b.engine);
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.preview, b.preview);
  EXPECT_EQ(CompareStamps(a.foundAt, b.foundAt), 0);
  EXPECT_EQ(a.foundAt.second, b.foundAt.second);
  EXPECT_EQ(a.var1, b.var1);
  EXPECT_EQ(a.spare, b.spare);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.size, b.size);
}

SearchDocument SampleDocument(int entries) {
  SearchDocument document;
  for (int i = 0; i < entries; ++i) {
    document.entries.Append(std::make_unique<ResultEntry>(SampleEntry(i)));
  }
  document.currentIndex = 2;
  document.query = "love song";
  document.duplicates = 0;
  document.filter = kFilterName;
  document.matchMode = 1;
  document.merge = 1;
  document.includePatterns = "*.mp3 *.ogg";
  document.excludePatterns = "*live*";
  document.var1 = "a";
  document.var2 = "b";
  document.var3 = "c";
  document.var4 = "d";
  document.daysBack = 30;
  document.reserved = 0xBEEF;
  document.modified = true;
  return document;
}

TEST(ProjectFileTest, EmptyDocumentLayout) {
  testkit::TempDir dir;
  SearchDocument document;
  document.query = "q";
  document.matchMode = 7;
  document.merge = 9;
  document.daysBack = 0x0102;
  ASSERT_TRUE(WriteDocument(dir.File("p.sdp"), document));
  const std::string expected = std::string(texts::kProjectMagic) + U16(0) + U16(0) + Str("q") +
                               "\x01" + std::string(1, '\0') + "\x07" + "\x09" + Str("") + Str("") +
                               Str("") + Str("") + Str("") + Str("") + U16(0x0102) + U16(0);
  EXPECT_EQ(dir.Read("p.sdp"), expected);
}

TEST(ProjectFileTest, RoundTripKeepsEntriesAndChoices) {
  testkit::TempDir dir;
  SearchDocument written = SampleDocument(5);
  ASSERT_TRUE(WriteDocument(dir.File("p.sdp"), written));
  EXPECT_FALSE(written.modified);

  SearchDocument read;
  read.modified = true;
  ASSERT_EQ(LoadDocument(dir.File("p.sdp"), read), kLoadOk);
  EXPECT_FALSE(read.modified);
  ASSERT_EQ(read.entries.Count(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    ExpectSameEntry(*read.entries.Get(i), *written.entries.Get(i));
  }
  EXPECT_EQ(read.currentIndex, 2);
  EXPECT_EQ(read.query, "love song");
  EXPECT_EQ(read.duplicates, 0);
  EXPECT_EQ(read.filter, kFilterName);
  EXPECT_EQ(read.matchMode, 1);
  EXPECT_EQ(read.merge, 1);
  EXPECT_EQ(read.includePatterns, "*.mp3 *.ogg");
  EXPECT_EQ(read.excludePatterns, "*live*");
  EXPECT_EQ(read.var1 + read.var2 + read.var3 + read.var4, "abcd");
  EXPECT_EQ(read.daysBack, 30);
  EXPECT_EQ(read.reserved, 0xBEEF);
}

TEST(ProjectFileTest, TextsAtTheirLimitsSurviveAndLongerOnesKeepTheReaderInStep) {
  testkit::TempDir dir;
  SearchDocument document;
  ResultEntry entry = SampleEntry(1);
  entry.url = "http://h/" + std::string(kMaxEntryUrl - 9, 'u');
  entry.name.assign(kMaxEntryName, 'n');
  document.entries.Append(std::make_unique<ResultEntry>(entry));
  document.query.assign(kMaxQuery, 'q');
  document.includePatterns.assign(kMaxPatterns, 'i');
  ASSERT_TRUE(WriteDocument(dir.File("limits.sdp"), document));
  SearchDocument read;
  ASSERT_EQ(LoadDocument(dir.File("limits.sdp"), read), kLoadOk);
  EXPECT_EQ(read.entries.Get(0)->url, entry.url);
  EXPECT_EQ(read.entries.Get(0)->name, entry.name);
  EXPECT_EQ(read.query, document.query);
  EXPECT_EQ(read.includePatterns, document.includePatterns);

  // A file from elsewhere with a 300-character query and a 3000-byte name: both are cut and
  // everything after them still lands in its own field.
  const std::string longEntry = Str(std::string(3000, 'N')) + Str("http://h/x") + Str("E") +
                                std::string("\x01\x02\xd0\x07\x03\x04\x05", 7) + Str("") + U16(4) +
                                Str("P") + "\x01" + std::string("\x10\x00\x00\x00", 4) + Str("");
  const std::string file = std::string(texts::kProjectMagic) + U16(0) + U16(1) + longEntry +
                           Str(std::string(300, 'Q')) + std::string("\x01\x03\x01\x00", 4) +
                           Str("inc") + Str("exc") + Str("1") + Str("2") + Str("3") + Str("4") +
                           U16(5) + U16(6);
  dir.Write("foreign.sdp", file);
  ASSERT_EQ(LoadDocument(dir.File("foreign.sdp"), read), kLoadOk);
  ASSERT_EQ(read.entries.Count(), 1);
  const ResultEntry& got = *read.entries.Get(0);
  EXPECT_EQ(got.name, std::string(kMaxEntryName, 'N'));
  EXPECT_EQ(got.url, "http://h/x");
  EXPECT_EQ(got.foundAt.year, 2000);
  EXPECT_EQ(got.position, 4);
  EXPECT_EQ(got.size, 16);
  EXPECT_EQ(read.query, std::string(kMaxQuery, 'Q'));
  EXPECT_EQ(read.filter, kFilterUrl);
  EXPECT_EQ(read.includePatterns, "inc");
  EXPECT_EQ(read.var4, "4");
  EXPECT_EQ(read.daysBack, 5);
  EXPECT_EQ(read.reserved, 6);
}

TEST(ProjectFileTest, ForeignMissingAndTruncatedFiles) {
  testkit::TempDir dir;
  SearchDocument document;
  document.entries.Append(std::make_unique<ResultEntry>(SampleEntry(1)));
  document.duplicates = 0;
  EXPECT_EQ(LoadDocument(dir.File("missing.sdp"), document), kLoadNotProject);
  EXPECT_EQ(document.entries.Count(), 0);
  EXPECT_EQ(document.duplicates, kRemoveDuplicateUrls);  // a new document
  dir.Write("foreign.sdp", "GIF89a not a project at all");
  EXPECT_EQ(LoadDocument(dir.File("foreign.sdp"), document), kLoadNotProject);
  dir.Write("short.sdp", std::string(texts::kProjectMagic).substr(0, 5));
  EXPECT_EQ(LoadDocument(dir.File("short.sdp"), document), kLoadNotProject);

  SearchDocument sample = SampleDocument(3);
  ASSERT_TRUE(WriteDocument(dir.File("whole.sdp"), sample));
  const std::string whole = dir.Read("whole.sdp");
  const std::size_t magic = texts::kProjectMagic.size();
  for (std::size_t length = magic; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    dir.Write("cut.sdp", whole.substr(0, length));
    SearchDocument cut;
    ASSERT_EQ(LoadDocument(dir.File("cut.sdp"), cut), kLoadDamaged);
    ASSERT_LE(cut.entries.Count(), 3);
    for (int i = 0; i < cut.entries.Count(); ++i) {
      EXPECT_EQ(cut.entries.Get(i)->url, sample.entries.Get(i)->url);
    }
  }
  // A count far beyond the entries that follow.
  dir.Write("count.sdp", std::string(texts::kProjectMagic) + U16(0) + U16(0xffff));
  EXPECT_EQ(LoadDocument(dir.File("count.sdp"), document), kLoadDamaged);
}

TEST(ProjectFileTest, FailedSaveLeavesTheOldFileAndTheModifiedFlag) {
  testkit::TempDir dir;
  SearchDocument document = SampleDocument(2);
  EXPECT_FALSE(WriteDocument(dir.File("no/such/dir/p.sdp"), document));
  EXPECT_TRUE(document.modified);

  const std::string path = dir.File("keep.sdp");
  ASSERT_TRUE(WriteDocument(path, document));
  const std::string before = dir.Read("keep.sdp");

  // A child process may write only a few kilobytes: the big save fails part-way.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    SearchDocument big = SampleDocument(500);
    const bool written = WriteDocument(path, big);
    _exit(written ? 10 : (big.modified ? 20 : 30));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 20);
  EXPECT_EQ(dir.Read("keep.sdp"), before);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.sdp"})
      << "a temporary file was left behind";
}

// A project from elsewhere is as untrusted as a page: its URLs never hold CR, LF or another
// control byte once read.
TEST(ProjectFileTest, ControlBytesInStoredUrlsArePercentEncoded) {
  testkit::TempDir dir;
  SearchDocument document = SampleDocument(1);
  document.entries.Get(0)->url =
      std::string("http://h/a\r\nX-Injected: 1\x00\x1b\x7f.mp3",
                  sizeof("http://h/a\r\nX-Injected: 1\x00\x1b\x7f.mp3") - 1);
  // The writer stores what it is given; the bytes reach the file as they were.
  ASSERT_TRUE(WriteDocument(dir.File("p.sdp"), document));
  ASSERT_NE(dir.Read("p.sdp").find("\r\nX-Injected"), std::string::npos);
  SearchDocument read;
  ASSERT_EQ(LoadDocument(dir.File("p.sdp"), read), kLoadOk);
  EXPECT_EQ(read.entries.Get(0)->url, "http://h/a%0D%0AX-Injected: 1%00%1B%7F.mp3");
}

TEST(ProjectFileTest, ChangeLeavesFilesItCannotReadAsTheyWere) {
  testkit::TempDir dir;
  const auto addOne = [](SearchDocument& document) {
    (void)document.entries.Append(std::make_unique<ResultEntry>(SampleEntry(1)));
    return true;
  };
  EXPECT_EQ(ChangeProjectFile(dir.File("new.sdp"), addOne), ProjectChange::kSaved);
  EXPECT_EQ(ChangeProjectFile(dir.File("new.sdp"), addOne), ProjectChange::kSaved);
  SearchDocument read;
  ASSERT_EQ(LoadDocument(dir.File("new.sdp"), read), kLoadOk);
  EXPECT_EQ(read.entries.Count(), 2);

  const std::string whole = dir.Read("new.sdp");
  struct Case {
    const char* name;
    std::string bytes;
    ProjectChange outcome;
  } cases[] = {
      {"notes.txt", "my notes", ProjectChange::kNotProject},
      {"cut.sdp", whole.substr(0, whole.size() - 3), ProjectChange::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write(c.name, c.bytes);
    EXPECT_EQ(ChangeProjectFile(dir.File(c.name), addOne), c.outcome);
    EXPECT_EQ(dir.Read(c.name), c.bytes);
  }
  EXPECT_EQ(ChangeProjectFile(dir.File("new.sdp"), [](SearchDocument&) { return false; }),
            ProjectChange::kRefused);
  EXPECT_EQ(dir.Read("new.sdp"), whole);
  EXPECT_EQ(ChangeProjectFile(dir.File("no/dir/p.sdp"), addOne), ProjectChange::kNotWritten);
}

TEST(ProjectPathTest, QueryMadeNames) {
  struct Case {
    const char* query;
    std::string name;
  } cases[] = {
      {"a?b", "ab.sdp"},
      {"rock.", "rock.sdp"},
      {"\"best\" <of> *", "best of .sdp"},
      {"../../etc/passwd", "....etcpasswd.sdp"},
      {"", ".sdp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(ProjectPathFromQuery(c.query, "/home/me/.sondrel"), "/home/me/.sondrel/" + c.name);
  }
  EXPECT_EQ(ProjectPathFromQuery(std::string(400, 'x'), "/h/"),
            "/h/" + std::string(kMaxProjectName, 'x') + ".sdp");
}

TEST(ReopenMenuTest, AtMostTenItemsNumberedFromZeroWithoutTheCurrentProject) {
  Settings settings;
  EXPECT_TRUE(BuildReopenMenu(settings, "").empty());
  for (int i = 0; i < 12; ++i) RememberProject(settings, "/p/" + std::to_string(i) + ".sdp");
  EXPECT_EQ(settings.lastProject, "/p/11.sdp");
  EXPECT_EQ(settings.recentProjects.Count(), kRecentProjectsMax);

  std::vector<ReopenItem> items = BuildReopenMenu(settings, "/P/11.SDP");
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].caption, "&0 /p/10.sdp");
  EXPECT_EQ(items[0].path, "/p/10.sdp");
  EXPECT_EQ(items[9].caption, "&9 /p/1.sdp");

  items = BuildReopenMenu(settings, "/p/5.sdp");
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].path, "/p/11.sdp");
}

TEST(CaptionTest, ProgramNameAndFileName) {
  EXPECT_EQ(UpdateCaption("/home/me/rock.sdp"), std::string(texts::kProgramName) + " - rock.sdp");
  EXPECT_EQ(UpdateCaption(""),
            std::string(texts::kProgramName) + " " + std::string(texts::kCaptionNoFile));
}

}  // namespace
}  // namespace sondrel
