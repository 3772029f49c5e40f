#include "engines/engine_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "engines/definition_text.h"
#include "engines/engine_texts.h"
#include "support/record_file.h"
#include "support/string_list.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

const char kTwoEngines[] =
    "[Music Index]\n"
    "URL=http://music-index.local/\n"
    "FILE=musidx\n"
    "ACTION=http://music-index.local/find.cgi?q=__QUERY__\n"
    "MORE=find.cgi?__NEXT__\n"
    "VA=<a href=\"find.cgi?__NEXT__\">Next\n"
    "VA=page __PAGE__ of\n"
    "VAESCAPE=1\n"
    "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n"
    "FORMATURL=e=mp3 ns=ftp\n"
    "OPERATORS=AND OR\n"
    "CLOSENESS=NEAR\n"
    "VALAST=2\n"
    "SF1=Results for\n"
    "SF2=</ul>\n"
    "CAT=mp3;web\n"
    "[Bare]\n";

// The checksum computed bit by bit, independently of the library.
std::uint32_t ReferenceCrc(std::string_view bytes) {
  std::uint32_t crc = 0x5DA45281;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x87654287 : crc >> 1;
  }
  return crc;
}

std::uint32_t StoredChecksum(const std::string& image) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(image[kDatabaseMagic.size() + i]);
  }
  return value;
}

std::string U16(std::size_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Field(std::string_view text, std::string_view key) {
  return U16(text.size()) + Scrambled(text, key);
}

class EngineDatabaseTest : public ::testing::Test {
 protected:
  std::string Compile(const std::string& text, std::uint32_t number = 0) {
    dir.Write("engines.def", text);
    std::string db = dir.File("engines.db");
    EXPECT_EQ(CompileDefinitions(dir.File("engines.def"), db, number), CompileOk);
    return dir.Read("engines.db");
  }

  EngineList Load(const std::string& image, bool* opened = nullptr) {
    dir.Write("load.db", image);
    EngineList list;
    bool ok = LoadDatabase(dir.File("load.db"), list, info);
    if (opened) *opened = ok;
    return list;
  }

  testkit::TempDir dir;
  LoadedDatabase info;
};

TEST_F(EngineDatabaseTest, CompiledDatabaseLoadsBackEveryField) {
  Compile(kTwoEngines);
  EngineList list;
  ASSERT_TRUE(LoadDatabase(dir.File("engines.db"), list, info));
  ASSERT_EQ(list.Count(), 2);
  EngineList expected;
  ReadDefinitions(kTwoEngines, expected);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(expected.Get(i)->name);
    EXPECT_EQ(DefinitionSectionOf(*list.Get(i)), DefinitionSectionOf(*expected.Get(i)));
  }
  const EngineDefinition& e = *list.Get(0);
  EXPECT_EQ(e.operators, "AND@OR");
  EXPECT_EQ(e.escapeVars, 1);
  EXPECT_EQ(e.varsAfterEntries, 2);
  ASSERT_EQ(e.varPatterns.Count(), 2);
  EXPECT_FALSE(e.varPatterns.Get(0)->value.has_value());
  EXPECT_EQ(e.enabled, 0);
  EXPECT_EQ(e.startMarkerPos, -1);
  EXPECT_EQ(CompareStamps(info.date, FileModifiedStamp(dir.File("engines.db").c_str())), 0);
  EXPECT_FALSE(info.date.IsEmpty());
}

// The first format's records: the fields in order, no API keys.
std::string Format1Records() {
  std::string records = U16(2);
  records += Field("Music Index", kEngineKey1) + Field("http://music-index.local/", kEngineKey2) +
             Field("musidx", kEngineKey2) +
             Field("http://music-index.local/find.cgi?q=__QUERY__", kEngineKey3) +
             Field("find.cgi?__NEXT__", kEngineKey4) + U16(2) +
             Field("<a href=\"find.cgi?__NEXT__\">Next", kEngineKey0) +
             Field("page __PAGE__ of", kEngineKey0) + std::string(1, '\1') +
             Field("<li><a href=\"__URL__\">__TITLE__</a></li>", kEngineKey5) +
             Field("e=mp3 ns=ftp", kEngineKey5) + Field("AND@OR", kEngineKey4) +
             Field("NEAR@", kEngineKey3) + std::string(1, '\2') +
             Field("Results for", kEngineKey4) + Field("</ul>", kEngineKey3) +
             Field("mp3;web", kEngineKey3);
  records += Field("Bare", kEngineKey1) + U16(0) + U16(0) + U16(0) + U16(0) + U16(0) +
             std::string(1, '\0') + U16(0) + U16(0) + U16(0) + U16(0) + std::string(1, '\0') +
             U16(0) + U16(0) + U16(0);
  return records;
}

std::string ImageWithChecksum(std::string_view magic, const std::string& records) {
  const std::uint32_t crc = ReferenceCrc(records);
  std::string image(magic);
  for (int i = 0; i < 4; ++i) image += static_cast<char>((crc >> (8 * i)) & 0xFF);
  return image + records;
}

TEST_F(EngineDatabaseTest, RecordLayoutFollowsTheFieldOrderThenTheApiKeys) {
  const std::string text = std::string(kTwoEngines).replace(
      std::string(kTwoEngines).find("[Bare]"), 6,
      "DECODE=json\nHEADER=Accept: application/json\n[Bare]");
  std::string image = Compile(text);
  // Format 1 with each record followed by its API keys: two for the first engine, none after.
  std::string records = Format1Records();
  const std::size_t bare = records.find(Field("Bare", kEngineKey1));
  records.insert(records.size(), U16(0));
  records.insert(bare, U16(2) + Field("DECODE", kEngineKey4) + Field("json", kEngineKey5) +
                           Field("HEADER", kEngineKey4) +
                           Field("Accept: application/json", kEngineKey5));
  EXPECT_EQ(image, ImageWithChecksum(kDatabaseMagic, records));
}

TEST_F(EngineDatabaseTest, ApiKeysSurviveTheDatabase) {
  const std::string text =
      "[Api]\nDECODE=json\nHEADER=Accept: application/json\nHEADER=X-Key: __KEY__\n"
      "COUNTER=0,50\nPAGES=7\nFOLLOW=/i/__ID__\nFOLLOWFORMAT={\"name\":\"__URL__\"\n"
      "FOLLOWURL=e=mp3 path pre=\"https://h/d/__ID__/\"\nFOLLOWSF1=\"files\":\nFOLLOWMAX=9\n[Plain]\n";
  Compile(text);
  EngineList list;
  ASSERT_TRUE(LoadDatabase(dir.File("engines.db"), list, info));
  EXPECT_EQ(info.format, 2);
  EngineList expected;
  ReadDefinitions(text, expected);
  ASSERT_EQ(list.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(DefinitionSectionOf(*list.Get(i)), DefinitionSectionOf(*expected.Get(i)));
  }
  EXPECT_EQ(list.Get(0)->FollowUpLimit(), 9);
}

TEST_F(EngineDatabaseTest, FirstFormatStillLoads) {
  EngineList list = Load(ImageWithChecksum(kDatabaseMagicFormat1, Format1Records()));
  EXPECT_EQ(info.format, 1);
  EngineList expected;
  ReadDefinitions(kTwoEngines, expected);
  ASSERT_EQ(list.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(DefinitionSectionOf(*list.Get(i)), DefinitionSectionOf(*expected.Get(i)));
  }
}

TEST_F(EngineDatabaseTest, ChecksumCoversTheRestWhateverTheNumber) {
  const std::uint32_t numbers[] = {0, 12345, 0xFFFFFFFF};
  std::string first;
  for (std::uint32_t number : numbers) {
    SCOPED_TRACE(number);
    std::string image = Compile(kTwoEngines, number);
    std::string rest = image.substr(kDatabaseMagic.size() + 4);
    EXPECT_EQ(StoredChecksum(image), ReferenceCrc(rest));
    std::uint32_t crc = 0;
    ASSERT_TRUE(DatabaseChecksumOf(image, crc));
    EXPECT_EQ(crc, StoredChecksum(image));
    if (first.empty()) first = image;
    EXPECT_EQ(image, first);
  }
  Load(first);
  EXPECT_EQ(info.checksum, StoredChecksum(first));
}

TEST_F(EngineDatabaseTest, ChecksumSpansSeveralBlocks) {
  // More than one 10000-byte block after the checksum field.
  std::string text;
  for (int i = 0; i < 60; ++i) text += "[e" + std::to_string(i) + "]\nFORMAT=" + std::string(400, 'f') + "\n";
  std::string image = Compile(text);
  ASSERT_GT(image.size(), 20000u);
  EXPECT_EQ(StoredChecksum(image), ReferenceCrc(image.substr(kDatabaseMagic.size() + 4)));
  EXPECT_EQ(Load(image).Count(), 60);
}

TEST_F(EngineDatabaseTest, ForeignDamagedOrMissingFilesAreRefusedWithTheReason) {
  const std::string good = Compile(kTwoEngines);
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x01;
  std::string badStem = ImageWithChecksum(
      kDatabaseMagicFormat1, std::string(Format1Records()).replace(
                                 Format1Records().find(Field("musidx", kEngineKey2)),
                                 Field("musidx", kEngineKey2).size(), Field("../x", kEngineKey2)));
  struct Case {
    std::string name;
    std::string image;
    std::string problem;
  };
  const Case cases[] = {
      {"foreign magic", "SomebodyElsesMagic and more bytes", std::string(kDatabaseForeign)},
      {"empty file", "", std::string(kDatabaseForeign)},
      {"magic only", std::string(kDatabaseMagic), std::string(kDatabaseForeign)},
      {"a flipped bit", flipped, std::string(kDatabaseDamaged)},
      {"cut short", good.substr(0, good.size() - 3), std::string(kDatabaseDamaged)},
      {"bytes after the list", good + "x", std::string(kDatabaseDamaged)},
      {"FILE leaving its folder", badStem, std::string(kDatabaseBadFileStem) + " Music Index"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool opened = true;
    EngineList list = Load(c.image, &opened);
    EXPECT_FALSE(opened);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(info.problem, c.problem);
  }

  EngineList none;
  EXPECT_FALSE(LoadDatabase(dir.File("missing.db"), none, info));
  EXPECT_EQ(info.problem, kDatabaseUnreadable);
  EXPECT_FALSE(LoadDatabase(dir.path(), none, info));
}

TEST_F(EngineDatabaseTest, OverlongStringIsCutWithoutLosingItsPlace) {
  EngineList list;
  auto big = std::make_unique<EngineDefinition>();
  big->name = std::string(1500, 'n');
  big->format = "after the long name";
  list.Append(std::move(big));
  auto next = std::make_unique<EngineDefinition>();
  next->name = "Next";
  list.Append(std::move(next));
  ASSERT_TRUE(WriteDatabase(dir.File("big.db"), list, 0));
  EngineList loaded;
  ASSERT_TRUE(LoadDatabase(dir.File("big.db"), loaded, info));
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Get(0)->name, std::string(999, 'n'));
  EXPECT_EQ(loaded.Get(0)->format, "after the long name");
  EXPECT_EQ(loaded.Get(1)->name, "Next");
}

TEST_F(EngineDatabaseTest, CompileFailures) {
  struct Case {
    std::string text;
    int result;
  };
  const Case refused[] = {
      {"root:x:0:0:root:/root:/bin/bash\n", CompileTextInvalid},
      {"; only a comment\n\n", CompileNoEngine},
      {"[a]\nFILE=../../etc/x\n", CompileTextInvalid},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.text);
    dir.Write("bad.def", c.text);
    EXPECT_EQ(CompileDefinitions(dir.File("bad.def"), dir.File("bad.db"), 0), c.result);
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.db")));
  }
  EXPECT_EQ(CompileDefinitions(dir.File("missing.def"), dir.File("x.db"), 0), CompileTextUnreadable);
  EXPECT_EQ(CompileDefinitions(dir.path(), dir.File("x.db"), 0), CompileTextUnreadable);
  dir.Write("ok.def", "[a]\n");
  EXPECT_EQ(CompileDefinitions(dir.File("ok.def"), dir.File("no/such/dir/x.db"), 0),
            CompileDatabaseUnwritable);
  // A database path that is a directory is not replaced, and no temporary file stays behind.
  std::filesystem::create_directory(dir.File("taken.db"));
  EXPECT_EQ(CompileDefinitions(dir.File("ok.def"), dir.File("taken.db"), 0), CompileDatabaseUnwritable);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.db")));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files += entry.path().filename().string().find(".tmp") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(files, 0);
}

EngineList Named(std::initializer_list<const char*> names) {
  EngineList list;
  for (const char* name : names) {
    auto engine = std::make_unique<EngineDefinition>();
    engine->name = name;
    list.Append(std::move(engine));
  }
  return list;
}

std::vector<int> EnabledFlags(const EngineList& list) {
  std::vector<int> flags;
  for (const auto& engine : list) flags.push_back(engine->enabled);
  return flags;
}

std::vector<std::string> Strings(const StringList& names) {
  std::vector<std::string> out;
  for (const auto& name : names) out.push_back(*name);
  return out;
}

TEST(EnabledNames, ApplyAndRebuild) {
  EngineList list = Named({"Alpha", "Beta", "Alpha", "Gamma"});
  SetAllEnabled(list, true);
  EXPECT_EQ(EnabledFlags(list), (std::vector<int>{1, 1, 1, 1}));

  StringList names;
  names.Add("Alpha");
  names.Add("gamma");  // names compare with case
  names.Add("Gone");   // an engine no longer in the database
  ApplyEnabledNames(list, names);
  EXPECT_EQ(EnabledFlags(list), (std::vector<int>{1, 0, 1, 0}));
  RebuildEnabledNames(list, names);
  EXPECT_EQ(Strings(names), (std::vector<std::string>{"Alpha", "Alpha"}));

  ApplyEnabledNames(list, StringList());
  EXPECT_EQ(EnabledFlags(list), (std::vector<int>{0, 0, 0, 0}));
  RebuildEnabledNames(list, names);
  EXPECT_EQ(names.Count(), 0);

  SetAllEnabled(list, false);
  list.Get(3)->enabled = 1;
  RebuildEnabledNames(list, names);
  EXPECT_EQ(Strings(names), (std::vector<std::string>{"Gamma"}));
}

TEST(EngineState, SearchAndPageResets) {
  EngineList list = Named({"e"});
  EngineDefinition& e = *list.Get(0);
  auto pattern = std::make_unique<VarPattern>();
  pattern->pattern = "__NEXT__";
  pattern->value = "q=abba&start=20";
  pattern->captured = 1;
  e.varPatterns.Append(std::move(pattern));
  e.foundCount = e.nextPosition = e.entriesThisPage = e.lastEntryEnd = 7;
  e.startMarkerPos = e.varMarkerPos = 9;

  ResetSearchState(list);
  EXPECT_EQ(e.foundCount, 0);
  EXPECT_EQ(e.nextPosition, 0);
  EXPECT_EQ(e.entriesThisPage, 0);
  EXPECT_EQ(e.lastEntryEnd, 0);
  EXPECT_EQ(e.startMarkerPos, -1);
  EXPECT_EQ(e.varMarkerPos, 9);  // a search reset leaves the page marker to the page reset
  EXPECT_TRUE(e.varPatterns.Get(0)->value.has_value());

  e.entriesThisPage = e.lastEntryEnd = 5;
  ReleasePageValues(e);
  EXPECT_FALSE(e.varPatterns.Get(0)->value.has_value());
  EXPECT_EQ(e.varPatterns.Get(0)->captured, 0);
  EXPECT_EQ(e.entriesThisPage, 5);

  e.varPatterns.Get(0)->value = "x";
  e.varPatterns.Get(0)->captured = 1;
  ResetPageState(e);
  EXPECT_EQ(e.entriesThisPage, 0);
  EXPECT_EQ(e.lastEntryEnd, 0);
  EXPECT_EQ(e.startMarkerPos, -1);
  EXPECT_EQ(e.varMarkerPos, -1);
  EXPECT_FALSE(e.varPatterns.Get(0)->value.has_value());
  EXPECT_EQ(e.varPatterns.Get(0)->captured, 0);
}

TEST(FindPatternForVariable, FirstPlaceholderDecides) {
  EngineList list = Named({"e"});
  EngineDefinition& e = *list.Get(0);
  for (const char* text : {"no placeholder", "<a href=\"__NEXT__\">Next", "x __next__ __PAGE__",
                           "a __ b__C__", "__PAGE__", "", "__Page__ again"}) {
    auto pattern = std::make_unique<VarPattern>();
    pattern->pattern = text;
    e.varPatterns.Append(std::move(pattern));
  }
  struct FindCase {
    const char* placeholder;
    int index;
  };
  const FindCase cases[] = {{"__NEXT__", 1}, {"__next__", 1}, {"__PAGE__", 4}, {"__page__", 4},
                            {"NEXT", -1},    {"__C__", 3},    {"__NONE__", -1}, {"", -1}};
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.placeholder);
    EXPECT_EQ(FindPatternForVariable(e, c.placeholder), c.index);
  }
  EXPECT_EQ(FindPatternForVariable(*Named({"none"}).Get(0), "__NEXT__"), -1);
}

}  // namespace
}  // namespace sondrel
