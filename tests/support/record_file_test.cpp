#include "support/record_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/string_list.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

class RecordFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<RecordFile> Create(int bufferSize = RecordFile::kDefaultBufferSize) {
    auto file = RecordFile::Open(path_, true, bufferSize);
    EXPECT_NE(file, nullptr);
    return file;
  }
  std::unique_ptr<RecordFile> OpenForReading(int bufferSize = RecordFile::kDefaultBufferSize) {
    auto file = RecordFile::Open(path_, false, bufferSize);
    EXPECT_NE(file, nullptr);
    return file;
  }
  std::string Contents() const { return dir_.Read("f"); }

  testkit::TempDir dir_;
  std::string path_ = dir_.File("f");
};

TEST_F(RecordFileTest, EncodingIsLittleEndianAndLengthPrefixed) {
  auto file = Create();
  file->WriteU16(0x1234);
  EXPECT_TRUE(file->WriteString(""));
  EXPECT_TRUE(file->WriteString("ab"));
  file->WriteU32(0x01020304);
  file->WriteU8(7);
  file->WriteMagic("MAG");
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(Contents(), std::string("\x34\x12\x00\x00\x02\x00" "ab\x04\x03\x02\x01\x07MAG", 16));

  auto in = OpenForReading();
  std::uint16_t u16 = 0;
  std::uint32_t u32 = 0;
  std::uint8_t u8 = 0;
  std::string text = "junk";
  EXPECT_EQ(in->ReadU16(u16), 2);
  EXPECT_EQ(u16, 0x1234);
  EXPECT_TRUE(in->ReadString(text, 10));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(in->ReadString(text, 10));
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(in->ReadU32(u32), 4);
  EXPECT_EQ(u32, 0x01020304u);
  EXPECT_EQ(in->ReadU8(u8), 1);
  EXPECT_EQ(u8, 7);
  EXPECT_TRUE(in->CheckMagic("MAG"));
  EXPECT_EQ(in->ReadU16(u16), 0);  // at the end; the value is left alone
  EXPECT_EQ(u16, 0x1234);
}

TEST_F(RecordFileTest, WriteAcceptsAtMostBufferSizeBytes) {
  auto file = Create(16);
  const std::string data(40, 'x');
  EXPECT_EQ(file->Write(data.data(), 40), 16);
  EXPECT_EQ(file->Write(data.data(), 16), 16);
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(Contents(), std::string(32, 'x'));
}

TEST_F(RecordFileTest, ManySmallWritesAndReadsAcrossRefills) {
  std::string data;
  for (int i = 0; i < 25000; ++i) data.push_back(static_cast<char>(i * 7 + i / 256));
  auto file = Create();
  for (std::size_t at = 0; at < data.size(); at += 100) {
    ASSERT_EQ(file->Write(data.data() + at, 100), 100);
  }
  EXPECT_TRUE(file->Close());
  ASSERT_EQ(Contents(), data);

  for (int bufferSize : {16, 1000, RecordFile::kDefaultBufferSize}) {
    SCOPED_TRACE(bufferSize);
    auto in = OpenForReading(bufferSize);
    std::string back;
    char chunk[333];
    for (int got; (got = in->Read(chunk, sizeof chunk)) > 0;) back.append(chunk, got);
    EXPECT_EQ(back, data);
    EXPECT_EQ(in->Read(chunk, 1), 0);
  }
}

TEST_F(RecordFileTest, FailedWritesAreReportedByClose) {
  auto file = RecordFile::Open("/dev/full", true);
  if (file == nullptr) GTEST_SKIP() << "no /dev/full";
  const std::string data(3000, 'x');
  for (int i = 0; i < 10; ++i) file->Write(data.data(), static_cast<int>(data.size()));
  EXPECT_FALSE(file->Close());
  EXPECT_TRUE(file->Failed());
}

TEST_F(RecordFileTest, OpenFailuresAndWrongDirection) {
  EXPECT_EQ(RecordFile::Open(dir_.File("missing"), false), nullptr);
  EXPECT_EQ(RecordFile::Open(dir_.File("no/such/dir"), true), nullptr);
  auto file = Create();
  char byte = 0;
  EXPECT_EQ(file->Read(&byte, 1), 0);  // reading a file opened for writing delivers nothing
  EXPECT_TRUE(file->Close());
  auto in = OpenForReading();
  EXPECT_EQ(in->Write("x", 1), 0);
}

TEST_F(RecordFileTest, CheckMagic) {
  dir_.Write("f", "SND");
  EXPECT_FALSE(OpenForReading()->CheckMagic("SNDR"));  // file shorter than the magic
  EXPECT_FALSE(OpenForReading()->CheckMagic("SNX"));
  EXPECT_TRUE(OpenForReading()->CheckMagic("SND"));
  for (const char* magic : {"SND", "SN", "SNDR", "SNX"}) {
    SCOPED_TRACE(magic);
    std::FILE* raw = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(CheckFileMagic(raw, magic), std::string_view("SND").starts_with(magic));
    std::fclose(raw);
  }
}

TEST_F(RecordFileTest, StringsAtAndPastTheReaderLimit) {
  auto file = Create();
  EXPECT_TRUE(file->WriteString("hello"));
  EXPECT_TRUE(file->WriteString("x"));
  EXPECT_TRUE(file->WriteString("hello"));
  EXPECT_TRUE(file->WriteString("y"));
  EXPECT_TRUE(file->WriteString("hello"));
  EXPECT_TRUE(file->Close());

  auto in = OpenForReading();
  std::string text = "junk";
  // Too long for the reader: empty, false, and the bytes stay unread.
  EXPECT_FALSE(in->ReadString(text, 6));
  EXPECT_EQ(text, "");
  char raw[5];
  ASSERT_EQ(in->Read(raw, 5), 5);
  EXPECT_EQ(std::string(raw, 5), "hello");
  EXPECT_TRUE(in->ReadString(text, 7));
  EXPECT_EQ(text, "x");
  // The cutting reader reads the whole string and keeps its place.
  EXPECT_TRUE(in->ReadStringCut(text, 4));
  EXPECT_EQ(text, "hel");
  EXPECT_TRUE(in->ReadString(text, 7));
  EXPECT_EQ(text, "y");
  // ReadStringNew cuts and reads only the bytes it keeps.
  EXPECT_EQ(in->ReadStringNew(4), "hel");
  ASSERT_EQ(in->Read(raw, 2), 2);
  EXPECT_EQ(std::string(raw, 2), "lo");
}

TEST_F(RecordFileTest, TruncatedStrings) {
  dir_.Write("f", std::string("\x05\x00" "abc", 5));
  std::string text = "junk";
  EXPECT_FALSE(OpenForReading()->ReadString(text, 100));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(OpenForReading()->ReadStringCut(text, 3));
  EXPECT_EQ(OpenForReading()->ReadStringNew(100), "");
  EXPECT_FALSE(OpenForReading()->ReadScrambled(text, 100, "k"));
  EXPECT_EQ(OpenForReading()->ReadScrambledNew(100, "k"), "");
  dir_.Write("f", "\x05");
  EXPECT_FALSE(OpenForReading()->ReadString(text, 100));
}

TEST_F(RecordFileTest, LongStringsAreWrittenWholeUpToTheLengthLimit) {
  const std::string big(30000, 'b');
  const std::string tooBig(70000, 'c');
  auto file = Create();
  EXPECT_TRUE(file->WriteString(big));
  EXPECT_FALSE(file->WriteString(tooBig));  // cut to 65535, the file stays readable
  EXPECT_TRUE(file->WriteString("end"));
  EXPECT_TRUE(file->Close());
  auto in = OpenForReading();
  std::string text;
  EXPECT_TRUE(in->ReadString(text, 40000));
  EXPECT_EQ(text, big);
  EXPECT_TRUE(in->ReadStringCut(text, 70000));
  EXPECT_EQ(text, std::string(65535, 'c'));
  EXPECT_TRUE(in->ReadString(text, 10));
  EXPECT_EQ(text, "end");
}

TEST(ScrambleTest, OneCharacterKeyCycle) {
  // Key "A" (65): shifts of 66, then 1 for the key's terminator, and again.
  struct Case {
    const char* key;
    const char* plain;
    const char* scrambled;
  };
  for (const Case& c : {Case{"A", "000", "r1r"}, Case{"A", "Az z", "80 0"}, Case{"", "0z", "10"},
                        Case{"A", "\xff~!", "\xff~!"}}) {
    SCOPED_TRACE(std::string(c.key) + " " + c.plain);
    EXPECT_EQ(Scrambled(c.plain, c.key), c.scrambled);
    EXPECT_EQ(Unscrambled(c.scrambled, c.key), c.plain);
  }
}

TEST(ScrambleTest, RoundTripStaysInRangeAndWorksInPlace) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  for (std::string_view key : {"k", "S0ndr3l-key", "\xff\x80z"}) {
    const std::string scrambled = Scrambled(all, key);
    for (int c = 0; c < 256; ++c) {
      const bool inRange = c >= '0' && c <= 'z';
      const unsigned char s = static_cast<unsigned char>(scrambled[c]);
      if (inRange) {
        EXPECT_TRUE(s >= '0' && s <= 'z');
      } else {
        EXPECT_EQ(s, c);
      }
    }
    std::string buffer = scrambled;
    UnscrambleText(buffer.data(), buffer.data(), static_cast<int>(buffer.size()), key);
    EXPECT_EQ(buffer, all);
  }
}

TEST_F(RecordFileTest, ScrambledStrings) {
  const std::string text = "Hello, World 123";
  auto file = Create();
  EXPECT_TRUE(file->WriteScrambled(text, "key"));
  EXPECT_TRUE(file->WriteScrambled(text, "key"));
  EXPECT_TRUE(file->WriteScrambled("", "key"));
  EXPECT_TRUE(file->Close());
  const std::string raw = Contents();
  EXPECT_EQ(raw.substr(0, 2), std::string("\x10\x00", 2));
  EXPECT_EQ(raw.substr(2, 16), Scrambled(text, "key"));
  EXPECT_NE(raw.substr(2, 16), text);

  auto in = OpenForReading();
  std::string back;
  EXPECT_TRUE(in->ReadScrambled(back, 100, "key"));
  EXPECT_EQ(back, text);
  EXPECT_EQ(in->ReadScrambledNew(6, "key"), "Hello");
  auto again = OpenForReading();
  EXPECT_TRUE(again->ReadScrambled(back, 4, "key"));
  EXPECT_EQ(back, "Hel");
}

TEST(Crc32Test, MatchesTheUsualCrc32WithCallerInversion) {
  std::uint32_t crc = 0xffffffffu;
  Crc32Update(0xedb88320u, crc, "123456789", 9);
  EXPECT_EQ(~crc, 0xcbf43926u);
  std::uint32_t pieces = 0xffffffffu;
  Crc32Update(0xedb88320u, pieces, "1234", 4);
  Crc32Update(0xedb88320u, pieces, "56789", 5);
  EXPECT_EQ(pieces, crc);
  std::uint32_t zero = 0;
  Crc32Update(0xedb88320u, zero, "", 0);
  EXPECT_EQ(zero, 0u);
}

TEST(MemReaderTest, ReadsAllOrNothing) {
  const std::string block("\x34\x12\x02\x00" "ab\x03\x00" "xyzMAG\x01", 15);
  MemReader reader(block);
  std::uint16_t u16 = 0;
  EXPECT_EQ(reader.ReadU16(u16), 2);
  EXPECT_EQ(u16, 0x1234);
  std::string text;
  EXPECT_TRUE(reader.ReadString(text, 10));
  EXPECT_EQ(text, "ab");
  EXPECT_FALSE(reader.ReadString(text, 3));  // too long: the bytes stay
  EXPECT_EQ(reader.Pos(), 8);
  char raw[8];
  EXPECT_EQ(reader.Read(raw, 3), 3);
  EXPECT_TRUE(reader.CheckMagic("MAG"));
  EXPECT_FALSE(reader.CheckMagic("MAGIC"));
  EXPECT_EQ(reader.Pos(), 14);
  EXPECT_EQ(reader.Read(raw, 2), 0);  // one byte left: nothing moves
  EXPECT_EQ(reader.Pos(), 14);
  std::uint32_t u32 = 0;
  EXPECT_EQ(reader.ReadU32(u32), 0);
  EXPECT_EQ(reader.Read(raw, 1), 1);
  EXPECT_EQ(reader.Read(raw, 1), 0);
}

TEST(MemReaderTest, ScrambledStrings) {
  const std::string scrambled = Scrambled("secret", "k");
  const std::string block = std::string("\x06\x00", 2) + scrambled;
  MemReader reader(block);
  std::string text;
  EXPECT_TRUE(reader.ReadScrambled(text, 100, "k"));
  EXPECT_EQ(text, "secret");
  MemReader cut(block);
  EXPECT_TRUE(cut.ReadScrambled(text, 4, "k"));
  EXPECT_EQ(text, "sec");
  MemReader shortBlock(std::string_view(block).substr(0, 5));
  EXPECT_FALSE(shortBlock.ReadScrambled(text, 100, "k"));
}

TEST_F(RecordFileTest, StringListsKeepTheirPlacePastLongStrings) {
  StringList list;
  list.Add("one");
  list.Add(std::string(5000, 'L'));
  list.Add("three");
  RecentList recent(7);
  recent.Add("old");
  recent.Add("new");
  auto file = Create();
  list.Write(*file);
  recent.Write(*file);
  file->WriteMagic("END");
  EXPECT_TRUE(file->Close());

  auto in = OpenForReading();
  StringList back;
  back.Add("stale");
  ASSERT_TRUE(back.Read(*in));
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(*back.Get(0), "one");
  EXPECT_EQ(*back.Get(1), std::string(StringList::kMaxStoredString - 1, 'L'));
  EXPECT_EQ(*back.Get(2), "three");
  RecentList recentBack(1);
  ASSERT_TRUE(recentBack.Read(*in));
  EXPECT_EQ(recentBack.MaxCount(), 7);
  ASSERT_EQ(recentBack.Count(), 2);
  EXPECT_EQ(*recentBack.Get(0), "new");
  EXPECT_TRUE(in->CheckMagic("END"));
}

TEST_F(RecordFileTest, ReadListKeepsTheItemsBeforeAFailure) {
  // Three items announced, two present in full, the third cut short.
  dir_.Write("f", std::string("\x03\x00\x01\x00" "a\x01\x00" "b\x05\x00" "c", 11));
  StringList list;
  EXPECT_FALSE(list.Read(*OpenForReading()));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(*list.Get(1), "b");
}

}  // namespace
}  // namespace sondrel
