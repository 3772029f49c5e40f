#pragma once
// Buffered binary record files: little-endian integers, length-prefixed (optionally scrambled)
// strings, lists, and a magic text at the start. Behind the engine database, the settings
// file and project files.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/ptr_array.h"

namespace sondrel {

class RecordFile {
 public:
  static constexpr int kDefaultBufferSize = 10000;

  // Null when the file cannot be opened. For writing the file is created or truncated.
  // Buffers below 16 bytes are raised to 16, so integers always fit in one piece.
  static std::unique_ptr<RecordFile> Open(const std::string& path, bool forWriting,
                                          int bufferSize = kDefaultBufferSize);
  ~RecordFile();  // closes without reporting; call Close() to learn whether writing succeeded

  int Write(const void* data, int n);
  int Read(void* data, int n);  // bytes delivered; 0 after the end; negative on a read error
  // Flushes and closes; false when any byte could not be written or the close failed.
  [[nodiscard]] bool Close();
  bool Failed() const { return failed_; }

  void WriteU8(std::uint8_t v);
  void WriteU16(std::uint16_t v);
  void WriteU32(std::uint32_t v);
  int ReadU8(std::uint8_t& v);    // bytes obtained; sets v only on success
  int ReadU16(std::uint16_t& v);
  int ReadU32(std::uint32_t& v);

  bool WriteString(std::string_view text);
  // The stored string when it is shorter than size - 1; otherwise dst is empty, false, and
  // the string's bytes stay unread.
  bool ReadString(std::string& dst, int size);
  // Reads the whole stored string and keeps at most size - 1 bytes, so the reader keeps its place.
  bool ReadStringCut(std::string& dst, int size);
  std::string ReadStringNew(int max);  // cut to max - 1; only those bytes are read

  bool WriteScrambled(std::string_view text, std::string_view key);
  bool ReadScrambled(std::string& dst, int size, std::string_view key);
  std::string ReadScrambledNew(int max, std::string_view key);

  void WriteMagic(std::string_view magic);
  bool CheckMagic(std::string_view magic);

 private:
  RecordFile(std::FILE* file, bool writing, int bufferSize);
  bool FlushBuffer();

  std::vector<char> buffer_;
  int filled_ = 0;
  int pos_ = 0;
  bool writing_;
  bool failed_ = false;
  std::FILE* file_;
};

// A list is a 16-bit count followed by the items in their own encoding.
template <class T, class WriteItem>
void WriteList(RecordFile& file, const PtrArray<T>& array, WriteItem writeItem) {
  file.WriteU16(static_cast<std::uint16_t>(array.Count()));
  for (const auto& item : array) writeItem(file, *item);
}

// Reads the count, then readItem (returning a unique_ptr, null on failure) that many times;
// a failed item ends the list, since later positions no longer exist. False on a short list.
template <class T, class ReadItem>
bool ReadList(RecordFile& file, PtrArray<T>& array, ReadItem readItem) {
  std::uint16_t count = 0;
  if (file.ReadU16(count) != 2) return false;
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<T> item = readItem(file);
    if (!item) return false;
    array.Insert(i, std::move(item));
  }
  return true;
}

// The magic check straight on an open file, without a record buffer; reads magic.size() bytes.
bool CheckFileMagic(std::FILE* file, std::string_view magic);

// Reads values from a block in memory that it does not own.
class MemReader {
 public:
  explicit MemReader(std::string_view data) : data_(data) {}
  int Read(void* dst, int n);  // n, or 0 without moving when fewer remain
  int ReadU16(std::uint16_t& v);
  int ReadU32(std::uint32_t& v);
  bool ReadString(std::string& dst, int size);
  bool ReadScrambled(std::string& dst, int size, std::string_view key);
  bool CheckMagic(std::string_view magic);
  int Pos() const { return pos_; }
  int Size() const { return static_cast<int>(data_.size()); }

 private:
  std::string_view data_;
  int pos_ = 0;
};

// Keyed shift of the characters '0'..'z'; the key's terminating zero takes part in the cycle.
void ScrambleText(char* dst, const char* src, int n, std::string_view key);
void UnscrambleText(char* dst, const char* src, int n, std::string_view key);
std::string Scrambled(std::string_view text, std::string_view key);
std::string Unscrambled(std::string_view text, std::string_view key);

// Reflected CRC without initial or final inversion; the caller picks start value and polynomial.
void Crc32Update(std::uint32_t polynomial, std::uint32_t& crc, const void* data, std::size_t n);

}  // namespace sondrel
