#include "results/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "results/results_texts.h"
#include "support/record_file.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

std::string U16(int v) {
  return std::string{static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff)};
}
std::string Str(const std::string& s) {
  return U16(static_cast<int>(s.size())) + s;
}
std::string B(int v) {
  return std::string(1, static_cast<char>(v));
}

std::unique_ptr<BlockRecord> Block(std::string name, bool enabled,
                                   std::initializer_list<const char*> urls,
                                   std::initializer_list<const char*> words) {
  auto record = std::make_unique<BlockRecord>();
  record->name = std::move(name);
  record->enabled = enabled ? 1 : 0;
  for (const char* url : urls) (void)record->urls.Insert(std::make_unique<std::string>(url));
  for (const char* word : words) (void)record->words.Insert(std::make_unique<std::string>(word));
  return record;
}

// Every field away from its default.
void FillDistinct(Settings& s) {
  s.maxConnections = 12;
  s.timeoutSeconds = 95;
  s.reserved1 = 61;
  s.maxResultsPerEngine = 33;
  s.maxResultsTotal = 4000;
  s.reserved2 = {1, 2, 3, 4};
  s.lastProject = "/p/last.sdp";
  s.recentProjects.Add("/p/old.sdp");
  s.recentProjects.Add("/p/last.sdp");
  s.searchHistory.Add("jazz");
  s.webProxyOn = 1;
  s.webProxyAddress = "proxy.local";
  s.webProxyPort = 3128;
  s.browserPath = "/usr/bin/firefox";
  s.showAbout = 1;
  s.reserved3 = {7, 8};
  s.enabledEngines.Add("Alpha");
  s.enabledEngines.Add("Beta Gamma");
  s.showSearchHistory = 0;
  s.reserved4 = {5, 6};
  s.showToolbar = 0;
  s.showStatusBar = 0;
  s.reserved5 = 9;
  s.reserved6 = 10;
  s.blockList.Append(Block("spam", true, {"http://bad/x.mp3"}, {"ringtone", "Karaoke"}));
  s.ftpClientPath = "/usr/bin/ftp";
  s.lastEngineUpdate.day = 2;
  s.lastEngineUpdate.month = 3;
  s.lastEngineUpdate.year = 2026;
  s.lastEngineUpdate.hour = 4;
  s.lastEngineUpdate.minute = 5;
  s.lastEngineUpdate.second = 6;
  s.reserved7 = 11;
  s.ftpProxyOn = 1;
  s.ftpProxyAddress = "ftpproxy";
  s.ftpProxyPort = 2121;
  s.downloadDirectory = "/music";
  s.verifyAfterSearch = 0;
  s.removeInvalidAfterVerify = 0;
  s.enginesChosen = 1;
}

TEST(SettingsTest, Defaults) {
  Settings s;
  SettingsDefaults(s, "/home/me/.sondrel", "/usr/bin/browser");
  EXPECT_EQ(s.maxConnections, 7);
  EXPECT_EQ(s.timeoutSeconds, 60);
  EXPECT_EQ(s.maxResultsPerEngine, 100);
  EXPECT_EQ(s.maxResultsTotal, 500);
  EXPECT_EQ(s.browserPath, "/usr/bin/browser");
  EXPECT_EQ(s.ftpClientPath, "/usr/bin/browser");
  EXPECT_EQ(s.downloadDirectory, "/home/me/.sondrel/downloads");
  EXPECT_EQ(s.showToolbar, 1);
  EXPECT_EQ(s.showStatusBar, 1);
  EXPECT_EQ(s.showSearchHistory, 1);
  EXPECT_EQ(s.verifyAfterSearch, 1);
  EXPECT_EQ(s.removeInvalidAfterVerify, 1);
  EXPECT_EQ(s.recentProjects.MaxCount(), 11);
  EXPECT_EQ(s.searchHistory.MaxCount(), 10);
  EXPECT_TRUE(s.lastEngineUpdate.IsEmpty());
  EXPECT_EQ(SettingsPath("/h"), "/h/" + std::string(texts::kSettingsFileName));
}

TEST(SettingsTest, FileLayoutInFieldOrder) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  FillDistinct(s);
  ASSERT_TRUE(WriteSettings(dir.File("s.cfg"), s));
  std::string field = "proxy.local";
  field.resize(200, '\0');
  const std::string expected =
      std::string(texts::kSettingsMagic) + U16(12) + U16(95) + U16(61) + U16(33) + U16(4000) +
      U16(1) + U16(2) + U16(3) + U16(4) + Str("/p/last.sdp") + U16(11) + U16(2) +
      Str("/p/last.sdp") + Str("/p/old.sdp") + U16(10) + U16(1) + Str("jazz") + B(1) + field +
      U16(3128) + Str("/usr/bin/firefox") + Str("/usr/bin/ftp") + B(1) + U16(7) + U16(8) + U16(2) +
      Str("Alpha") + Str("Beta Gamma") + B(0) + B(5) + B(6) + B(10) + B(9) + B(0) + B(0) + U16(1) +
      Str("spam") + B(1) + U16(1) + Str("http://bad/x.mp3") + U16(2) + Str("Karaoke") +
      Str("ringtone") + B(2) + B(3) + U16(2026) + B(4) + B(5) + B(6) + B(1) + Str("ftpproxy") +
      U16(2121) + Str("/music") + B(11) + B(0) + B(0);
  EXPECT_EQ(dir.Read("s.cfg"), expected);
}

TEST(SettingsTest, RoundTripInEveryField) {
  testkit::TempDir dir;
  Settings written;
  SettingsDefaults(written, "/h");
  FillDistinct(written);
  written.browserPath.assign(kMaxProgramPath, 'b');
  written.lastProject.assign(kMaxLastProject, 'l');
  written.webProxyAddress.assign(kWebProxyField - 1, 'w');
  written.ftpProxyAddress.assign(kMaxFtpProxyAddress, 'f');
  written.downloadDirectory.assign(kMaxDownloadDirectory, 'd');
  ASSERT_TRUE(WriteSettings(dir.File("s.cfg"), written));

  Settings read;
  SettingsDefaults(read, "/elsewhere");
  ASSERT_TRUE(ReadSettings(dir.File("s.cfg"), read));
  // Written again, the file is byte for byte the same: every field came back.
  ASSERT_TRUE(WriteSettings(dir.File("again.cfg"), read));
  EXPECT_EQ(dir.Read("again.cfg"), dir.Read("s.cfg"));
  EXPECT_EQ(read.browserPath, written.browserPath);
  EXPECT_EQ(read.lastProject, written.lastProject);
  EXPECT_EQ(read.webProxyAddress, written.webProxyAddress);
  EXPECT_EQ(read.ftpProxyAddress, written.ftpProxyAddress);
  EXPECT_EQ(read.downloadDirectory, written.downloadDirectory);
  EXPECT_EQ(read.verifyAfterSearch, 0);
  EXPECT_EQ(read.removeInvalidAfterVerify, 0);
  EXPECT_EQ(read.reserved7, 11);
  EXPECT_EQ(read.lastEngineUpdate.year, 2026);
  ASSERT_EQ(read.blockList.Count(), 1);
  EXPECT_EQ(read.blockList.Get(0)->words.IndexOf("KARAOKE"), 0);
}

TEST(SettingsTest, MissingForeignAndTruncatedFiles) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  s.maxConnections = 3;
  EXPECT_FALSE(ReadSettings(dir.File("missing.cfg"), s));
  dir.Write("foreign.cfg", "SondrelProject and more bytes than the magic");
  EXPECT_FALSE(ReadSettings(dir.File("foreign.cfg"), s));
  EXPECT_EQ(s.maxConnections, 3);

  Settings full;
  SettingsDefaults(full, "/h");
  FillDistinct(full);
  ASSERT_TRUE(WriteSettings(dir.File("full.cfg"), full));
  const std::string whole = dir.Read("full.cfg");
  for (std::size_t length = texts::kSettingsMagic.size(); length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    dir.Write("cut.cfg", whole.substr(0, length));
    Settings cut;
    SettingsDefaults(cut, "/h");
    ASSERT_TRUE(ReadSettings(dir.File("cut.cfg"), cut));
    // The last field is the last to arrive.
    EXPECT_EQ(cut.removeInvalidAfterVerify, 1);
  }
  // Cut after the nine numbers: those are read, the rest keeps its defaults.
  dir.Write("nine.cfg", whole.substr(0, texts::kSettingsMagic.size() + 18));
  Settings nine;
  SettingsDefaults(nine, "/h");
  ASSERT_TRUE(ReadSettings(dir.File("nine.cfg"), nine));
  EXPECT_EQ(nine.maxConnections, 12);
  EXPECT_EQ(nine.maxResultsTotal, 4000);
  EXPECT_EQ(nine.lastProject, "");
  EXPECT_EQ(nine.showToolbar, 1);
}

TEST(SettingsTest, OverlongTextsAreCutAndTheReaderStaysInStep) {
  testkit::TempDir dir;
  std::string field(200, 'W');  // a field without its terminating zero
  const std::string file =
      std::string(texts::kSettingsMagic) + U16(7) + U16(60) + U16(60) + U16(100) + U16(500) +
      U16(0) + U16(0) + U16(0) + U16(0) + Str(std::string(1000, 'L')) + U16(65535) + U16(0) +
      U16(3) + U16(0) + B(1) + field + U16(80) + Str(std::string(600, 'B')) + Str("ftp") + B(0) +
      U16(3) + U16(3) + U16(0) + B(1) + B(1) + B(1) + B(1) + B(0) + B(1) + B(0) + U16(0) +
      std::string(7, '\0') + B(0) + Str(std::string(500, 'F')) + U16(21) +
      Str(std::string(999, 'D')) + B(0) + B(1) + B(0);
  dir.Write("long.cfg", file);
  Settings s;
  SettingsDefaults(s, "/h");
  ASSERT_TRUE(ReadSettings(dir.File("long.cfg"), s));
  EXPECT_EQ(s.lastProject, std::string(kMaxLastProject, 'L'));
  EXPECT_EQ(s.recentProjects.MaxCount(), kRecentProjectsMax);  // the file cannot raise it
  EXPECT_EQ(s.searchHistory.MaxCount(), kSearchHistoryMax);
  EXPECT_EQ(s.webProxyAddress, std::string(199, 'W'));
  EXPECT_EQ(s.webProxyPort, 80);
  EXPECT_EQ(s.browserPath, std::string(kMaxProgramPath, 'B'));
  EXPECT_EQ(s.ftpClientPath, "ftp");
  EXPECT_EQ(s.showToolbar, 1);
  EXPECT_EQ(s.showStatusBar, 0);
  EXPECT_EQ(s.ftpProxyAddress, std::string(kMaxFtpProxyAddress, 'F'));
  EXPECT_EQ(s.ftpProxyPort, 21);
  EXPECT_EQ(s.downloadDirectory, std::string(kMaxDownloadDirectory, 'D'));
  EXPECT_EQ(s.verifyAfterSearch, 1);
  EXPECT_EQ(s.removeInvalidAfterVerify, 0);
}

TEST(SettingsTest, FailedWriteKeepsTheOldFile) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  EXPECT_FALSE(WriteSettings(dir.File("no/dir/s.cfg"), s));
  // A directory in the file's place: the rename fails after the data was written.
  std::filesystem::create_directory(dir.File("taken.cfg"));
  EXPECT_FALSE(WriteSettings(dir.File("taken.cfg"), s));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.cfg"})
      << "a temporary file was left behind";
}

// Fields stored by name after the fixed layout: a newer program's fields pass through an older
// one's save, and a file of only defaults keeps the fixed layout.
TEST(SettingsTest, NamedFieldsArePassedOnAndOldFilesStillRead) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  FillDistinct(s);
  ASSERT_TRUE(WriteSettings(dir.File("fixed.cfg"), s));
  const std::string fixed = dir.Read("fixed.cfg");
  dir.Write("named.cfg",
            fixed + U16(2) + Str("futureKey") + Str("its value") + Str("enginesChosen") + Str("0"));
  Settings read;
  SettingsDefaults(read, "/h");
  ASSERT_EQ(LoadSettingsFile(dir.File("named.cfg"), read), SettingsFileState::kRead);
  // Names in the list are a choice, whatever the flag says.
  ASSERT_TRUE(WriteSettings(dir.File("again.cfg"), read));
  EXPECT_EQ(dir.Read("again.cfg"), fixed + U16(1) + Str("futureKey") + Str("its value"));

  read.enabledEngines.Clear();
  ASSERT_TRUE(WriteSettings(dir.File("fresh.cfg"), read));
  Settings fresh;
  SettingsDefaults(fresh, "/h");
  ASSERT_EQ(LoadSettingsFile(dir.File("fresh.cfg"), fresh), SettingsFileState::kRead);
  EXPECT_EQ(fresh.enginesChosen, 0);
  ASSERT_EQ(fresh.otherNamedFields.size(), 1u);

  // A file of the fixed layout was written by a front end that knew its engines.
  Settings old;
  SettingsDefaults(old, "/h");
  ASSERT_EQ(LoadSettingsFile(dir.File("fixed.cfg"), old), SettingsFileState::kRead);
  EXPECT_EQ(old.enginesChosen, 1);
  dir.Write("cutnamed.cfg", fixed + U16(2) + Str("futureKey"));
  EXPECT_EQ(LoadSettingsFile(dir.File("cutnamed.cfg"), old), SettingsFileState::kDamaged);
}

// Fields kept by name are stored too: a trust file and the keys of engines survive a save.
TEST(SettingsTest, TrustFileAndEngineKeysAreStored) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  s.caFile = "/etc/ssl/mine.pem";
  SetEngineKey(s, "Audio Archive", "k=1");
  SetEngineKey(s, "Other", "xyz");
  ASSERT_TRUE(WriteSettings(dir.File("s.cfg"), s));
  Settings read;
  SettingsDefaults(read, "/h");
  ASSERT_EQ(LoadSettingsFile(dir.File("s.cfg"), read), SettingsFileState::kRead);
  EXPECT_EQ(read.caFile, "/etc/ssl/mine.pem");
  EXPECT_EQ(EngineKey(read, "Audio Archive"), "k=1");
  EXPECT_EQ(EngineKey(read, "Other"), "xyz");
  EXPECT_TRUE(read.otherNamedFields.empty());
}

TEST(SettingsTest, NumbersOutsideTheirRangeReadAsDefaults) {
  testkit::TempDir dir;
  struct Case {
    int connections, timeout;
    int readConnections, readTimeout;
  } cases[] = {
      {0, 0, 7, 60}, {21, 501, 7, 60}, {1, 5, 1, 5}, {20, 500, 20, 500}, {3, 4, 3, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.connections) + " " + std::to_string(c.timeout));
    Settings s;
    SettingsDefaults(s, "/h");
    s.maxConnections = c.connections;
    s.timeoutSeconds = c.timeout;
    ASSERT_TRUE(WriteSettings(dir.File("s.cfg"), s));
    Settings read;
    SettingsDefaults(read, "/h");
    ASSERT_TRUE(ReadSettings(dir.File("s.cfg"), read));
    EXPECT_EQ(read.maxConnections, c.readConnections);
    EXPECT_EQ(read.timeoutSeconds, c.readTimeout);
  }
}

TEST(SettingsTest, SaveKeepsAFileThatDoesNotReadAndNeverOneItCannotKeep) {
  testkit::TempDir dir;
  Settings s;
  SettingsDefaults(s, "/h");
  const std::string magic(texts::kSettingsMagic);
  dir.Write("s.cfg", magic.substr(0, magic.size() - 1) + "\x09" + "newer");
  EXPECT_EQ(LoadSettingsFile(dir.File("s.cfg"), s), SettingsFileState::kNewer);
  EXPECT_EQ(s.maxConnections, 7);
  SettingsSave save = SaveSettingsFile(dir.File("s.cfg"), s);
  ASSERT_TRUE(save.written);
  ASSERT_FALSE(save.keptAs.empty());
  EXPECT_EQ(dir.Read(std::filesystem::path(save.keptAs).filename().string()),
            magic.substr(0, magic.size() - 1) + "\x09" + "newer");
  // Once replaced, the file reads: the next save keeps nothing more.
  save = SaveSettingsFile(dir.File("s.cfg"), s);
  EXPECT_TRUE(save.written);
  EXPECT_TRUE(save.keptAs.empty());
  EXPECT_EQ(LoadSettingsFile(dir.File("missing.cfg"), s), SettingsFileState::kMissing);
}

TEST(BlockedTest, WordsAndUrlsOfEnabledRecordsIgnoringCase) {
  Settings s;
  s.blockList.Append(Block("on", true, {"http://Bad/x.mp3"}, {"ringtone"}));
  s.blockList.Append(Block("off", false, {"http://other/y.mp3"}, {"karaoke"}));
  struct Case {
    const char* name;
    const char* url;
    bool blocked;
  } cases[] = {
      {"Best RINGTONE ever", "http://h/1", true}, {"ringtone!", "http://h/2", true},
      {"song.ringtone,mix", "http://h/3", true},  {"ringtones", "http://h/4", false},
      {"karaoke night", "http://h/5", false},     {"x", "http://bad/X.MP3", true},
      {"x", "http://other/y.mp3", false},         {"", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultEntry entry;
    entry.name = c.name;
    entry.url = c.url;
    EXPECT_EQ(Blocked(s, entry), c.blocked);
  }
}

TEST(SearchHistoryTest, BoxFollowsTheSettingAndOffEmptiesIt) {
  Settings s;
  for (int i = 0; i < 12; ++i) AddSearchHistory(s, "q" + std::to_string(i));
  AddSearchHistory(s, "Q5");
  std::vector<std::string> items = HistoryBoxItems(s);
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0], "Q5");
  EXPECT_EQ(items[1], "q11");
  SetShowSearchHistory(s, false);
  EXPECT_TRUE(HistoryBoxItems(s).empty());
  EXPECT_EQ(s.searchHistory.Count(), 0);
  AddSearchHistory(s, "still kept");
  EXPECT_TRUE(HistoryBoxItems(s).empty());
  EXPECT_EQ(s.searchHistory.Count(), 1);
}

TEST(EngineChoiceTest, WithoutAFileEveryEngineIsEnabled) {
  testkit::TempDir dir;
  EngineChoice none = ReadEngineChoice(dir.path());
  EXPECT_FALSE(none.fromFile);
  EXPECT_TRUE(none.Enabled("Anything"));

  Settings s;
  SettingsDefaults(s, dir.path());
  s.enabledEngines.Add("Alpha");
  ASSERT_TRUE(WriteSettings(SettingsPath(dir.path()), s));
  EngineChoice some = ReadEngineChoice(dir.path());
  EXPECT_TRUE(some.fromFile);
  EXPECT_TRUE(some.Enabled("Alpha"));
  EXPECT_FALSE(some.Enabled("alpha"));
  EXPECT_FALSE(some.Enabled("Beta"));
}

}  // namespace
}  // namespace sondrel
