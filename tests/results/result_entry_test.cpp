#include "results/result_entry.h"

#include <gtest/gtest.h>

#include "results/results_texts.h"

namespace sondrel {
namespace {

TEST(ResultEntryTest, NewEntryHasTheDocumentedStart) {
  const ResultEntry entry = NewEntry();
  EXPECT_TRUE(entry.name.empty());
  EXPECT_TRUE(entry.url.empty());
  EXPECT_EQ(entry.position, 0);
  EXPECT_EQ(entry.status, kStatusNotVerified);
  EXPECT_EQ(entry.size, -1);
  EXPECT_FALSE(entry.foundAt.IsEmpty());
}

TEST(ResultEntryTest, SizeColumn) {
  struct Case {
    std::int32_t size;
    const char* text;
  } cases[] = {{-1, "???"},    {-5, "???"},    {0, "0 KB"},    {1023, "0 KB"},
               {1024, "1 KB"}, {2048, "2 KB"}, {2047, "1 KB"}, {2147483647, "2097151 KB"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(SizeText(c.size), c.text);
  }
}

TEST(ResultEntryTest, StatusTextsShareOneTextForUnknownCodes) {
  EXPECT_EQ(StatusText(5), texts::kStatusNotVerified);
  EXPECT_EQ(StatusText(1), texts::kStatusValid);
  EXPECT_EQ(StatusText(4), texts::kStatusInvalid);
  EXPECT_EQ(StatusText(3), texts::kStatusUnknown);
  EXPECT_EQ(StatusText(2), texts::kStatusChecked);
  EXPECT_EQ(StatusText(0), texts::kStatusChecked);
  EXPECT_EQ(StatusText(200), texts::kStatusChecked);
  // The five texts differ, so a row tells the states apart.
  EXPECT_NE(StatusText(3), StatusText(2));
}

TEST(ResultEntryTest, RowTexts) {
  ResultEntry entry = NewEntry();
  entry.url = "http://h/a.mp3";
  entry.engine = "Alpha";
  entry.size = 4096;
  EntryRow row = MakeEntryRow(entry);
  EXPECT_EQ(row.name, texts::kEmptyNamePlaceholder);
  EXPECT_EQ(row.url, "http://h/a.mp3");
  EXPECT_EQ(row.size, "4 KB");
  EXPECT_EQ(row.status, texts::kStatusNotVerified);
  EXPECT_EQ(row.pos, "1");
  EXPECT_EQ(row.engine, "Alpha");
  entry.name = "Song";
  entry.position = 32767;
  row = MakeEntryRow(entry);
  EXPECT_EQ(row.name, "Song");
  EXPECT_EQ(row.pos, "32768");
}

TEST(ResultEntryTest, CompactCopyCutsEveryTextAtItsLimit) {
  ResultEntry scratch = NewEntry();
  scratch.name.assign(5000, 'n');
  scratch.url.assign(5000, 'u');
  scratch.engine.assign(5000, 'e');
  scratch.preview.assign(5000, 'p');
  scratch.var1.assign(5000, 'v');
  scratch.status = 1;
  scratch.size = 77;
  const ResultEntry copy = CompactCopy(scratch);
  EXPECT_EQ(copy.name.size(), kMaxEntryName);
  EXPECT_EQ(copy.url.size(), kMaxEntryUrl);
  EXPECT_EQ(copy.engine.size(), kMaxEntryEngine);
  EXPECT_EQ(copy.preview.size(), kMaxEntryPreview);
  EXPECT_EQ(copy.var1.size(), kMaxEntryVar1);
  EXPECT_EQ(copy.status, 1);
  EXPECT_EQ(copy.size, 77);
}

}  // namespace
}  // namespace sondrel
