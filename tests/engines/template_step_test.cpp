#include "engines/template_step.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

struct Step {
  bool ok;
  std::string name;
  std::string value;
  std::size_t pagePos;
};

// Runs the template's steps from the start until one fails; the failing one is last.
std::vector<Step> RunSteps(std::string_view page, std::string_view templ, bool noTags = false) {
  std::vector<Step> steps;
  std::size_t pagePos = 0;
  std::size_t templatePos = 0;
  for (int guard = 0; guard < 20; ++guard) {
    Step step;
    step.ok = TemplateStep(page, pagePos, templ, templatePos, step.name, step.value, noTags);
    step.pagePos = pagePos;
    steps.push_back(step);
    if (!step.ok) break;
  }
  return steps;
}

TEST(TemplateStepTest, LiteralsMatchInAnyCaseAndTheLastLiteralStaysUnread) {
  const std::string page = "<B>Song</B><A HREF=\"s.mp3\">rest";
  auto steps = RunSteps(page, "<b>__TITLE__</b><a href=__URL__>");
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].name, "TITLE");
  EXPECT_EQ(steps[0].value, "Song");
  EXPECT_EQ(steps[1].name, "URL");
  EXPECT_EQ(steps[1].value, "\"s.mp3\"");
  // "after" ran to the end of the template: the page stays at the '>'.
  EXPECT_EQ(page.substr(steps[1].pagePos), ">rest");
  EXPECT_FALSE(steps[2].ok);  // no placeholder left
  EXPECT_EQ(steps[2].pagePos, steps[1].pagePos);
}

TEST(TemplateStepTest, TrailingPlaceholderRunsToTheNextEntry) {
  const std::string page = "<li>a.mp3 first song<li>b.mp3 second<li>";
  std::size_t pagePos = 0;
  std::size_t templatePos = 0;
  std::string name, value;
  const std::string templ = "<li>__URL__ __TITLE__";
  ASSERT_TRUE(TemplateStep(page, pagePos, templ, templatePos, name, value, false));
  EXPECT_EQ(value, "a.mp3");
  ASSERT_TRUE(TemplateStep(page, pagePos, templ, templatePos, name, value, false));
  EXPECT_EQ(name, "TITLE");
  EXPECT_EQ(value, "first song");
  EXPECT_EQ(page.substr(pagePos, 4), "<li>");  // the next entry's literal is not consumed
}

TEST(TemplateStepTest, Limits) {
  struct Case {
    const char* label;
    std::string page;
    std::string templ;
    bool ok;
    std::size_t pagePos;  // after the step
  };
  const std::string v1020(1020, 'v');
  const std::string v1021(1021, 'v');
  const std::string before198(198, 'b');
  const std::string before199(199, 'b');
  const Case cases[] = {
      {"value of 1020", "[" + v1020 + "]", "[__X__]", true, 1021},
      {"value of 1021 fails past before", "[" + v1021 + "]", "[__X__]", false, 1},
      {"after missing fails past before", "[abc", "[__X__]", false, 1},
      {"before missing leaves pos", "abc]", "[__X__]", false, 0},
      {"before of 198", before198 + "v]", before198 + "__X__]", true, 199},
      {"before of 199 fails", before199 + "v]", before199 + "__X__]", false, 0},
      {"unclosed placeholder", "[v]", "[__X", false, 0},
      {"no placeholder", "[v]", "[v]", false, 0},
      {"empty template", "[v]", "", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::size_t pagePos = 0;
    std::size_t templatePos = 0;
    std::string name, value;
    EXPECT_EQ(TemplateStep(c.page, pagePos, c.templ, templatePos, name, value, false), c.ok);
    EXPECT_EQ(pagePos, c.pagePos);
  }
}

TEST(TemplateStepTest, NoTagsRefusesValuesWithTagsAndStopsPastBefore) {
  const std::string page = "<a href=\"x\"><b>Prev</b></a> <a href=\"p2.htm\">Next";
  const std::string templ = "<a href=\"__NEXT__\">Next";
  std::size_t pagePos = 0;
  std::size_t templatePos = 0;
  std::string name, value;
  EXPECT_FALSE(TemplateStep(page, pagePos, templ, templatePos, name, value, true));
  EXPECT_EQ(pagePos, 9u);  // just past the first <a href="
  templatePos = 0;
  EXPECT_TRUE(TemplateStep(page, pagePos, templ, templatePos, name, value, true));
  EXPECT_EQ(name, "NEXT");
  EXPECT_EQ(value, "p2.htm");
}

TEST(TemplateStepTest, StripQuotesRemovesOnePair) {
  EXPECT_EQ(StripQuotes("\"a\""), "a");
  EXPECT_EQ(StripQuotes("'a'"), "a");
  EXPECT_EQ(StripQuotes("\"\"a\"\""), "\"a\"");
  EXPECT_EQ(StripQuotes("\"a'"), "\"a'");
  EXPECT_EQ(StripQuotes("\""), "\"");
}

}  // namespace
}  // namespace sondrel
