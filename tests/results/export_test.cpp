#include "results/export.h"

#include <gtest/gtest.h>

#include "results/results_texts.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

SearchDocument Fixture() {
  SearchDocument document;
  auto add = [&](std::string name, std::string url, int position, std::string engine,
                 std::string preview) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = std::move(name);
    entry->url = std::move(url);
    entry->position = static_cast<std::int16_t>(position);
    entry->engine = std::move(engine);
    entry->preview = std::move(preview);
    document.entries.Append(std::move(entry));
  };
  add("Say \"Hi\" & <go>", "http://h/a\"b.mp3", 0, "Alpha", "  spaced &amp; \"q\" ");
  add("", "ftp://f/x", 3, "Beta", "");
  add("N", "http://h/n?a=1&b=2", 12, "Gamma", "text&#32;here");
  add("Q", "http://h/\"\",\"evil\".mp3", 1, "Eng \"ine\"", "");
  return document;
}

TEST(ExportTest, HtmlLayout) {
  const std::string expected =
      std::string(texts::kHtmlBegin) +
      "<A HREF=\"http://h/a&quot;b.mp3\">Say &quot;Hi&quot; &amp; &lt;go&gt;</A>"
      "  spaced &amp;amp; &quot;q&quot; <P>\n"
      "<A HREF=\"ftp://f/x\"></A><P>\n"
      "<A HREF=\"http://h/n?a=1&amp;b=2\">N</A> text&amp;#32;here<P>\n"
      "<A HREF=\"http://h/&quot;&quot;,&quot;evil&quot;.mp3\">Q</A><P>\n" +
      std::string(texts::kHtmlEnd);
  EXPECT_EQ(HtmlExportOf(Fixture()), expected);
}

TEST(ExportTest, TextLayout) {
  EXPECT_EQ(TextExportOf(Fixture()),
            "URL: http://h/a\"b.mp3\nName: Say \"Hi\" & <go>\nDescription: spaced & \"q\"\n\n"
            "URL: ftp://f/x\nName: \nDescription: \n\n"
            "URL: http://h/n?a=1&b=2\nName: N\nDescription: text here\n\n"
            "URL: http://h/\"\",\"evil\".mp3\nName: Q\nDescription: \n\n");
}

// Names and previews lose their quotes to apostrophes; a URL and an engine name keep them,
// doubled, so that no quote ends a field early.
TEST(ExportTest, CdfLayout) {
  EXPECT_EQ(CdfExportOf(Fixture()),
            "\"Say 'Hi' & <go>\",\"http://h/a\"\"b.mp3\",\"0\",\"Alpha\",\"  spaced & 'q' \"\n"
            "\"\",\"ftp://f/x\",\"3\",\"Beta\",\"\"\n"
            "\"N\",\"http://h/n?a=1&b=2\",\"12\",\"Gamma\",\"text here\"\n"
            "\"Q\",\"http://h/\"\"\"\",\"\"evil\"\".mp3\",\"1\",\"Eng \"\"ine\"\"\",\"\"\n");
}

TEST(ExportTest, FilesBesideTheProject) {
  testkit::TempDir dir;
  const SearchDocument document = Fixture();
  const std::string project = dir.File("rock.sdp");
  for (ExportFormat format : {ExportFormat::kHtml, ExportFormat::kText, ExportFormat::kCdf}) {
    SCOPED_TRACE(static_cast<int>(format));
    const std::string path = ExportPath(project, format);
    EXPECT_EQ(path, dir.File("rock") + std::string(ExportExtension(format)));
    ASSERT_TRUE(ExportDocument(path, document, format));
  }
  EXPECT_EQ(dir.Read("rock.htm"), HtmlExportOf(document));
  EXPECT_EQ(dir.Read("rock.txt"), TextExportOf(document));
  EXPECT_EQ(dir.Read("rock.cdf"), CdfExportOf(document));
  EXPECT_EQ(ExportPath("", ExportFormat::kHtml), "");
  EXPECT_FALSE(ExportText(dir.File("missing/rock.txt"), document));
}

TEST(ExportTest, EmptyDocument) {
  testkit::TempDir dir;
  const SearchDocument empty;
  ASSERT_TRUE(ExportHtml(dir.File("e.htm"), empty));
  ASSERT_TRUE(ExportText(dir.File("e.txt"), empty));
  ASSERT_TRUE(ExportCdf(dir.File("e.cdf"), empty));
  EXPECT_EQ(dir.Read("e.htm"), std::string(texts::kHtmlBegin) + std::string(texts::kHtmlEnd));
  EXPECT_EQ(dir.Read("e.txt"), "");
  EXPECT_EQ(dir.Read("e.cdf"), "");
}

}  // namespace
}  // namespace sondrel
