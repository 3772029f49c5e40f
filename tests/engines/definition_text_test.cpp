#include "engines/definition_text.h"

#include <gtest/gtest.h>

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

EngineList Read(const std::string& text) {
  EngineList list;
  ReadDefinitions(text, list);
  return list;
}

std::vector<std::string> PatternsOf(const EngineDefinition& engine) {
  std::vector<std::string> patterns;
  for (const auto& p : engine.varPatterns) patterns.push_back(p->pattern);
  return patterns;
}

TEST(DefinitionText, ReadsEveryKeyIntoItsField) {
  EngineList list = Read(
      "; engines of the music index\n"
      "[Music Index]\r\n"
      "url=http://engine-host/\n"
      "FILE=musidx\n"
      "Action=http://engine-host/find.cgi?q=__QUERY__&max=__HITS__\n"
      "FORMAT=<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>\n"
      "FORMATURL=e=mp3 e=mp2 ns=ftp\n"
      "SF1=Results for\n"
      "SF2=</ul>\n"
      "MORE=find.cgi?__NEXT__\n"
      "VA=<a href=\"find.cgi?__NEXT__\">Next\n"
      "VAESCAPE=0\n"
      "VALAST=1\n"
      "OPERATORS=AND OR NOT ( )\n"
      "CLOSENESS=NEAR\n"
      "CAT=mp3;web\n"
      "UNKNOWN=ignored\n"
      "#begin block\n"
      "#end\n"
      "stray words\n");
  ASSERT_EQ(list.Count(), 1);
  const EngineDefinition& e = *list.Get(0);
  EXPECT_EQ(e.name, "Music Index");
  EXPECT_EQ(e.homeUrl, "http://engine-host/");
  EXPECT_EQ(e.fileStem, "musidx");
  EXPECT_EQ(e.action, "http://engine-host/find.cgi?q=__QUERY__&max=__HITS__");
  EXPECT_EQ(e.format, "<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>");
  EXPECT_EQ(e.urlFormat, "e=mp3 e=mp2 ns=ftp");
  EXPECT_EQ(e.startMarker, "Results for");
  EXPECT_EQ(e.varMarker, "</ul>");
  EXPECT_EQ(e.more, "find.cgi?__NEXT__");
  EXPECT_EQ(PatternsOf(e), std::vector<std::string>{"<a href=\"find.cgi?__NEXT__\">Next"});
  EXPECT_EQ(e.escapeVars, 0);
  EXPECT_EQ(e.varsAfterEntries, 1);
  EXPECT_EQ(e.operators, "AND@OR@NOT@(@)");
  EXPECT_EQ(e.closeness, "NEAR@");
  EXPECT_EQ(e.categories, "mp3;web");
  EXPECT_EQ(e.enabled, 0);
  EXPECT_EQ(e.startMarkerPos, -1);
  EXPECT_EQ(e.varMarkerPos, -1);
}

TEST(DefinitionText, SectionsKeysBeforeSectionsAndRepeats) {
  EngineList list = Read(
      "URL=http://orphan/\n"
      "VA=orphan\n"
      "[One]\n"
      "URL=http://first/\n"
      "URL=http://second/\n"
      "VA=a __X__\n"
      "VA=\n"
      "va=c __Z__\n"
      "[One]\n"
      "[]\n"
      "FILE=last");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0)->name, "One");
  EXPECT_EQ(list.Get(0)->homeUrl, "http://second/");
  EXPECT_EQ(PatternsOf(*list.Get(0)), (std::vector<std::string>{"a __X__", "", "c __Z__"}));
  // A repeated section name is a second engine with fields of its own.
  EXPECT_EQ(list.Get(1)->name, "One");
  EXPECT_EQ(list.Get(1)->homeUrl, "");
  EXPECT_EQ(list.Get(1)->varPatterns.Count(), 0);
  EXPECT_EQ(list.Get(2)->name, "");
  EXPECT_EQ(list.Get(2)->fileStem, "last");  // the final line needs no newline
  EXPECT_EQ(Read("URL=x\n; nothing else\n").Count(), 0);
  EXPECT_EQ(Read("").Count(), 0);
}

TEST(DefinitionText, FlagsTakeTheLeadingNumber) {
  struct FlagCase {
    std::string value;
    int flag;
  };
  const FlagCase cases[] = {{"yes", 0}, {"", 0},    {"2", 2},      {"1 on", 1},
                            {"+7x", 7}, {"-1", 255}, {"256", 0}, {"0012", 12}};
  for (const FlagCase& c : cases) {
    SCOPED_TRACE("value: " + c.value);
    EngineList list = Read("[e]\nVAESCAPE=" + c.value + "\nVALAST=" + c.value + "\n");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0)->escapeVars, c.flag);
    EXPECT_EQ(list.Get(0)->varsAfterEntries, c.flag);
  }
}

TEST(DefinitionText, NormalisesOperatorTexts) {
  struct OperatorCase {
    std::string text;
    std::string stored;
  };
  const OperatorCase cases[] = {
      {"   and   or  ", "and@or"},
      {"AND", "AND@"},
      {"AND OR NOT ( )", "AND@OR@NOT@(@)"},
      {"a\tb\r\nc", "a@b@c"},
      {"", ""},
      {" \t ", ""},
      {"x\vy z", "x\vy@z"},  // only spaces, tabs, CR and LF separate words
      {std::string(254, 'w'), std::string(254, 'w') + "@"},
      {std::string(300, 'w'), std::string(254, 'w') + "@" + std::string(46, 'w')},
      // Words holding '@' themselves still print as a value that reads back the same.
      {"@ x", "@@x"},
      {"x @", "x@@"},
      {"a@b", "a@b@"},
      {"@@ @", "@@@@"},
      {std::string(200, 'a') + "@ " + std::string(200, 'b'),
       std::string(200, 'a') + "@@" + std::string(200, 'b')},
  };
  for (const OperatorCase& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(NormaliseOperators(c.text), c.stored);
    // Printing the stored form back as a value must give the same stored form again.
    EXPECT_EQ(NormaliseOperators(OperatorsAsText(c.stored)), c.stored);
  }
}

TEST(DefinitionText, LongLinesArriveAsSeveralLines) {
  // 1023 characters fit the line buffer; the 1024th starts a line of its own.
  std::string fits = "FORMAT=" + std::string(1023 - 7, 'f');
  std::string tooLong = "ACTION=" + std::string(1023 - 7, 'a') + "URL=http://tail/";
  EngineList list = Read("[e]\n" + fits + "\n" + tooLong + "\n");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->format.size(), 1016u);
  EXPECT_EQ(list.Get(0)->action, std::string(1016, 'a'));
  EXPECT_EQ(list.Get(0)->homeUrl, "http://tail/");

  // A line of exactly 1023 characters leaves its newline as an empty line; a line of 1022
  // characters takes its newline with it. Neither disturbs the following key.
  std::string name(150, 'n');
  list = Read("[" + name + "]\nCAT=" + std::string(1019, 'c') + "\nFILE=x\n");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->name, std::string(100, 'n'));
  EXPECT_EQ(list.Get(0)->categories.size(), 1019u);
  EXPECT_EQ(list.Get(0)->fileStem, "x");
}

TEST(DefinitionText, ZeroByteEndsTheLineText) {
  EngineList list = Read(std::string("[e]\nURL=http://a/\0junk\nFILE=f\n", 29));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->homeUrl, "http://a/");
  EXPECT_EQ(list.Get(0)->fileStem, "f");
}

TEST(DefinitionText, SectionTextReadsBackToTheSameRecord) {
  const std::string text =
      "[ Spaced ]\nURL=u\nFILE=f\nACTION=post://h/s?q=__QUERY__\nMORE=m\nVAESCAPE=3\n"
      "VA=\nVA=p __N__\nFORMAT=__A__ e=mp3\nOPERATORS=a@b\nCLOSENESS=x y\nVALAST=9\n"
      "FORMATURL=e=mp3\nSF1=s1\nSF2=s2\nCAT=c\n";
  EngineList first = Read(text);
  ASSERT_EQ(first.Count(), 1);
  std::string printed = DefinitionSectionOf(*first.Get(0));
  EngineList second = Read(printed);
  ASSERT_EQ(second.Count(), 1);
  EXPECT_EQ(DefinitionSectionOf(*second.Get(0)), printed);
  EXPECT_EQ(second.Get(0)->operators, "a@b@");
  EXPECT_EQ(PatternsOf(*second.Get(0)), (std::vector<std::string>{"", "p __N__"}));
  // Empty fields print nothing.
  EXPECT_EQ(DefinitionSectionOf(*Read("[bare]\n").Get(0)), "[bare]\n");
}

TEST(DefinitionText, ApiKeysFillTheirFieldsAndPrintBackInTheirOrder) {
  const std::string text =
      "[Api]\nDECODE=JSON\nHEADER=Accept: application/json\nHEADER=User-Agent: probe/1\n"
      "COUNTER=0, 50\nPAGES=5\nFOLLOW=https://h/item/__ID__\nFOLLOWFORMAT={\"name\":\"__URL__\"\n"
      "FOLLOWURL=e=mp3 path pre=\"https://h/dl/__ID__/\"\nFOLLOWSF1=\"files\":\nFOLLOWMAX=1000\n";
  EngineList list = Read(text);
  ASSERT_EQ(list.Count(), 1);
  const EngineDefinition& e = *list.Get(0);
  EXPECT_EQ(e.decoding, ValueDecoding::kJson);
  EXPECT_EQ(e.headers, (std::vector<std::string>{"Accept: application/json", "User-Agent: probe/1"}));
  EXPECT_TRUE(e.counter.on);
  EXPECT_EQ(e.counter.start, 0);
  EXPECT_EQ(e.counter.step, 50);
  EXPECT_EQ(e.PageLimit(), 5);
  EXPECT_EQ(e.follow, "https://h/item/__ID__");
  EXPECT_EQ(e.FollowUpLimit(), 1000);
  const std::string printed = DefinitionSectionOf(e);
  EXPECT_EQ(printed,
            "[Api]\nDECODE=json\nHEADER=Accept: application/json\nHEADER=User-Agent: probe/1\n"
            "COUNTER=0,50\nPAGES=5\nFOLLOW=https://h/item/__ID__\nFOLLOWFORMAT={\"name\":\"__URL__\"\n"
            "FOLLOWURL=e=mp3 path pre=\"https://h/dl/__ID__/\"\nFOLLOWSF1=\"files\":\nFOLLOWMAX=1000\n");
  EXPECT_EQ(DefinitionSectionOf(*Read(printed).Get(0)), printed);
}

TEST(DefinitionText, ProblemsNameTheirLine) {
  struct Case {
    std::string text;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {"[a]\nURL=x\n", {}, {}},
      {"; c\n\n#begin b\n[a]\n#end\n", {}, {}},
      {"root:x:0:0\n[a]\n", {"1: malformed line (not [name], KEY=value or a ; comment)"}, {}},
      {"URL=x\n[a]\nFORMATT=y\n", {}, {"1: key URL outside an engine section is ignored",
                                          "3: unknown key FORMATT"}},
      {"[a]\nFILE=../up\nFILE=/abs\nFILE=.hidden\nFILE=ok-1.x\n",
       {"2: FILE is not a plain name (letters, digits, '-', '_', '.')",
        "3: FILE is not a plain name (letters, digits, '-', '_', '.')",
        "4: FILE is not a plain name (letters, digits, '-', '_', '.')"},
       {}},
      {"[a]\nCOUNTER=1\nCOUNTER=1,0\nPAGES=0\nPAGES=501\nFOLLOWMAX=x\nDECODE=xml\nHEADER=nocolon\n",
       {"2: COUNTER wants START,STEP with START 0 or more and STEP 1 or more",
        "3: COUNTER wants START,STEP with START 0 or more and STEP 1 or more",
        "4: PAGES wants a number from 1 to 500", "5: PAGES wants a number from 1 to 500",
        "6: FOLLOWMAX wants a number from 1 to 1000", "7: DECODE wants json or html",
        "8: HEADER wants Name: value"},
       {}},
      {"[a]\nFORMAT=" + std::string(1100, 'f') + "\nbad line\n",
       {"3: malformed line (not [name], KEY=value or a ; comment)"},
       {"2: line longer than 1023 characters: the rest is read as a line of its own"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    EngineList list;
    DefinitionProblems problems;
    ReadDefinitions(c.text, list, &problems);
    EXPECT_EQ(problems.errors, c.errors);
    EXPECT_EQ(problems.warnings, c.warnings);
  }
  // A refused FILE is not stored.
  EXPECT_EQ(Read("[a]\nFILE=../up\n").Get(0)->fileStem, "");
}

TEST(DefinitionText, FileThatCannotBeReadFails) {
  testkit::TempDir dir;
  EngineList list;
  EXPECT_FALSE(ReadDefinitionFile(dir.File("missing.def"), list));
  dir.Write("ok.def", "[a]\n[b]\n");
  EXPECT_TRUE(ReadDefinitionFile(dir.File("ok.def"), list));
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
}  // namespace sondrel
