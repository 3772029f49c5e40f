#include "support/record_file.h"

#include <algorithm>
#include <cstring>

namespace sondrel {

namespace {
// Integers need a few bytes in one piece; smaller buffers are raised to this.
constexpr int kMinBufferSize = 16;
constexpr std::size_t kMaxStringLength = 0xffff;  // the 16-bit length prefix

constexpr unsigned kScrambleLow = '0';
constexpr unsigned kScrambleHigh = 'z';
constexpr unsigned kScrambleSpan = 75;  // characters '0'..'z'
constexpr unsigned kShiftModulus = 74;

template <class Value>
void StoreLittleEndian(Value v, unsigned char* out) {
  for (std::size_t i = 0; i < sizeof(Value); ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

template <class Value>
Value LoadLittleEndian(const unsigned char* in) {
  Value v = 0;
  for (std::size_t i = 0; i < sizeof(Value); ++i) v = static_cast<Value>(v | (Value{in[i]} << (8 * i)));
  return v;
}

// Walks the key positions 0..keyLen; position keyLen stands for the key's terminating zero.
class KeyWalk {
 public:
  explicit KeyWalk(std::string_view key) : key_(key) {}
  unsigned NextShift() {
    const unsigned k = pos_ < key_.size() ? static_cast<unsigned char>(key_[pos_]) : 0;
    pos_ = pos_ >= key_.size() ? 0 : pos_ + 1;
    return k % kShiftModulus + 1;
  }

 private:
  std::string_view key_;
  std::size_t pos_ = 0;
};

bool InScrambleRange(unsigned c) { return c >= kScrambleLow && c <= kScrambleHigh; }
}  // namespace

void ScrambleText(char* dst, const char* src, int n, std::string_view key) {
  KeyWalk walk(key);
  for (int i = 0; i < n; ++i) {
    unsigned c = static_cast<unsigned char>(src[i]);
    const unsigned s = walk.NextShift();
    if (InScrambleRange(c)) {
      c += s;
      if (c > kScrambleHigh) c -= kScrambleSpan;
    }
    dst[i] = static_cast<char>(c);
  }
}

void UnscrambleText(char* dst, const char* src, int n, std::string_view key) {
  KeyWalk walk(key);
  for (int i = 0; i < n; ++i) {
    int c = static_cast<unsigned char>(src[i]);
    const int s = static_cast<int>(walk.NextShift());
    if (InScrambleRange(static_cast<unsigned>(c))) {
      c -= s;
      if (c < static_cast<int>(kScrambleLow)) c += kScrambleSpan;
    }
    dst[i] = static_cast<char>(c);
  }
}

std::string Scrambled(std::string_view text, std::string_view key) {
  std::string out(text);
  ScrambleText(out.data(), out.data(), static_cast<int>(out.size()), key);
  return out;
}

std::string Unscrambled(std::string_view text, std::string_view key) {
  std::string out(text);
  UnscrambleText(out.data(), out.data(), static_cast<int>(out.size()), key);
  return out;
}

void Crc32Update(std::uint32_t polynomial, std::uint32_t& crc, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ polynomial : crc >> 1;
  }
}

// ---- RecordFile ----

std::unique_ptr<RecordFile> RecordFile::Open(const std::string& path, bool forWriting,
                                             int bufferSize) {
  std::FILE* file = std::fopen(path.c_str(), forWriting ? "wb" : "rb");
  if (file == nullptr) return nullptr;
  return std::unique_ptr<RecordFile>(new RecordFile(file, forWriting, bufferSize));
}

RecordFile::RecordFile(std::FILE* file, bool writing, int bufferSize)
    : buffer_(static_cast<std::size_t>(std::max(bufferSize, kMinBufferSize))),
      writing_(writing),
      file_(file) {}

RecordFile::~RecordFile() {
  if (file_ != nullptr) (void)Close();
}

bool RecordFile::FlushBuffer() {
  if (pos_ > 0) {
    if (file_ == nullptr ||
        std::fwrite(buffer_.data(), 1, static_cast<std::size_t>(pos_), file_) !=
            static_cast<std::size_t>(pos_)) {
      failed_ = true;
    }
    pos_ = 0;
  }
  return !failed_;
}

bool RecordFile::Close() {
  if (file_ == nullptr) return !failed_;
  if (writing_) {
    FlushBuffer();
    if (std::fflush(file_) != 0) failed_ = true;
  }
  if (std::fclose(file_) != 0 && writing_) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

int RecordFile::Write(const void* data, int n) {
  if (!writing_ || file_ == nullptr || n <= 0) return 0;
  const int bufferSize = static_cast<int>(buffer_.size());
  n = std::min(n, bufferSize);
  if (pos_ + n > bufferSize - 1) FlushBuffer();
  std::memcpy(buffer_.data() + pos_, data, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

int RecordFile::Read(void* data, int n) {
  // Reading a file opened for writing delivers nothing, and says so.
  if (writing_ || file_ == nullptr || n <= 0) return 0;
  const int bufferSize = static_cast<int>(buffer_.size());
  n = std::min(n, bufferSize);
  if (filled_ - pos_ < n) {
    const int rest = filled_ - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, static_cast<std::size_t>(rest));
    filled_ = rest;
    pos_ = 0;
    const std::size_t got = std::fread(buffer_.data() + filled_, 1,
                                       static_cast<std::size_t>(bufferSize - filled_), file_);
    filled_ += static_cast<int>(got);
    if (std::ferror(file_)) return -1;
    n = std::min(n, filled_);
  }
  std::memcpy(data, buffer_.data() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

namespace {
// Reads n bytes in buffer-sized pieces; the number obtained.
template <class Source>
int ReadFully(Source& source, char* dst, int n) {
  int total = 0;
  while (total < n) {
    const int got = source.Read(dst + total, n - total);
    if (got <= 0) break;
    total += got;
  }
  return total;
}

// Writes n bytes in buffer-sized pieces; true when all were accepted.
bool WriteFully(RecordFile& file, const char* data, std::size_t n) {
  while (n > 0) {
    const int chunk = static_cast<int>(std::min<std::size_t>(n, RecordFile::kDefaultBufferSize));
    const int put = file.Write(data, chunk);
    if (put <= 0) return false;
    data += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

// Skips n bytes of the stream; true when they were all there.
template <class Source>
bool SkipBytes(Source& source, int n) {
  char scratch[512];
  while (n > 0) {
    const int chunk = std::min(n, static_cast<int>(sizeof scratch));
    if (ReadFully(source, scratch, chunk) != chunk) return false;
    n -= chunk;
  }
  return true;
}

// Reads a 16-bit length and then exactly length bytes; false when any are missing.
template <class Source>
bool ReadCounted(Source& source, std::string& dst, int length) {
  dst.resize(static_cast<std::size_t>(length));
  const bool complete = ReadFully(source, dst.data(), length) == length;
  if (!complete) dst.clear();
  return complete;
}

template <class Source>
bool ReadStringLimited(Source& source, std::string& dst, int size) {
  dst.clear();
  std::uint16_t length = 0;
  if (source.ReadU16(length) != 2) return false;
  // Too long for the reader: the bytes stay in the stream.
  if (static_cast<int>(length) >= size - 1) return false;
  return ReadCounted(source, dst, length);
}

template <class Source>
bool ReadScrambledLimited(Source& source, std::string& dst, int size, std::string_view key) {
  dst.clear();
  std::uint16_t length = 0;
  if (source.ReadU16(length) != 2) return false;
  const int kept = std::clamp(static_cast<int>(length), 0, std::max(size - 1, 0));
  if (!ReadCounted(source, dst, kept)) return false;
  UnscrambleText(dst.data(), dst.data(), kept, key);
  return true;
}

template <class Source>
bool CheckMagicOf(Source& source, std::string_view magic) {
  std::string got(magic.size(), '\0');
  return ReadFully(source, got.data(), static_cast<int>(got.size())) ==
             static_cast<int>(got.size()) &&
         got == magic;
}
}  // namespace

void RecordFile::WriteU8(std::uint8_t v) { Write(&v, 1); }

void RecordFile::WriteU16(std::uint16_t v) {
  unsigned char bytes[2];
  StoreLittleEndian(v, bytes);
  Write(bytes, 2);
}

void RecordFile::WriteU32(std::uint32_t v) {
  unsigned char bytes[4];
  StoreLittleEndian(v, bytes);
  Write(bytes, 4);
}

int RecordFile::ReadU8(std::uint8_t& v) {
  unsigned char byte = 0;
  const int got = Read(&byte, 1);
  if (got == 1) v = byte;
  return got;
}

int RecordFile::ReadU16(std::uint16_t& v) {
  unsigned char bytes[2];
  const int got = ReadFully(*this, reinterpret_cast<char*>(bytes), 2);
  if (got == 2) v = LoadLittleEndian<std::uint16_t>(bytes);
  return got;
}

int RecordFile::ReadU32(std::uint32_t& v) {
  unsigned char bytes[4];
  const int got = ReadFully(*this, reinterpret_cast<char*>(bytes), 4);
  if (got == 4) v = LoadLittleEndian<std::uint32_t>(bytes);
  return got;
}

bool RecordFile::WriteString(std::string_view text) {
  // A longer text cannot be described by the length prefix; write its head and report it.
  const std::size_t length = std::min(text.size(), kMaxStringLength);
  WriteU16(static_cast<std::uint16_t>(length));
  return WriteFully(*this, text.data(), length) && length == text.size();
}

bool RecordFile::ReadString(std::string& dst, int size) { return ReadStringLimited(*this, dst, size); }

bool RecordFile::ReadStringCut(std::string& dst, int size) {
  dst.clear();
  std::uint16_t length = 0;
  if (ReadU16(length) != 2) return false;
  const int kept = std::clamp(static_cast<int>(length), 0, std::max(size - 1, 0));
  if (!ReadCounted(*this, dst, kept)) return false;
  return SkipBytes(*this, length - kept);
}

std::string RecordFile::ReadStringNew(int max) {
  std::string dst;
  std::uint16_t length = 0;
  if (ReadU16(length) != 2) return dst;
  const int kept = std::clamp(static_cast<int>(length), 0, std::max(max - 1, 0));
  (void)ReadCounted(*this, dst, kept);
  return dst;
}

bool RecordFile::WriteScrambled(std::string_view text, std::string_view key) {
  const std::size_t length = std::min(text.size(), kMaxStringLength);
  const std::string scrambled = Scrambled(text.substr(0, length), key);
  WriteU16(static_cast<std::uint16_t>(length));
  return WriteFully(*this, scrambled.data(), length) && length == text.size();
}

bool RecordFile::ReadScrambled(std::string& dst, int size, std::string_view key) {
  return ReadScrambledLimited(*this, dst, size, key);
}

std::string RecordFile::ReadScrambledNew(int max, std::string_view key) {
  std::string dst;
  (void)ReadScrambledLimited(*this, dst, max, key);
  return dst;
}

void RecordFile::WriteMagic(std::string_view magic) {
  (void)WriteFully(*this, magic.data(), magic.size());
}

bool RecordFile::CheckMagic(std::string_view magic) { return CheckMagicOf(*this, magic); }

bool CheckFileMagic(std::FILE* file, std::string_view magic) {
  if (file == nullptr) return false;
  std::string got(magic.size(), '\0');
  return std::fread(got.data(), 1, got.size(), file) == got.size() && got == magic;
}

// ---- MemReader ----

int MemReader::Read(void* dst, int n) {
  if (n <= 0 || Size() - pos_ < n) return 0;
  std::memcpy(dst, data_.data() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

int MemReader::ReadU16(std::uint16_t& v) {
  unsigned char bytes[2];
  if (Read(bytes, 2) != 2) return 0;
  v = LoadLittleEndian<std::uint16_t>(bytes);
  return 2;
}

int MemReader::ReadU32(std::uint32_t& v) {
  unsigned char bytes[4];
  if (Read(bytes, 4) != 4) return 0;
  v = LoadLittleEndian<std::uint32_t>(bytes);
  return 4;
}

bool MemReader::ReadString(std::string& dst, int size) { return ReadStringLimited(*this, dst, size); }

bool MemReader::ReadScrambled(std::string& dst, int size, std::string_view key) {
  return ReadScrambledLimited(*this, dst, size, key);
}

bool MemReader::CheckMagic(std::string_view magic) {
  // All or nothing: a short block leaves the position where it was.
  if (Size() - pos_ < static_cast<int>(magic.size())) return false;
  return CheckMagicOf(*this, magic);
}

}  // namespace sondrel
