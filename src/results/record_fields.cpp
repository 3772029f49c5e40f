#include "results/record_fields.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/record_file.h"

namespace sondrel {

void WriteStamp(RecordFile& file, const DateStamp& stamp) {
  file.WriteU8(stamp.day);
  file.WriteU8(stamp.month);
  file.WriteU16(static_cast<std::uint16_t>(stamp.year));
  file.WriteU8(stamp.hour);
  file.WriteU8(stamp.minute);
  file.WriteU8(stamp.second);
}

bool ReadStamp(RecordFile& file, DateStamp& stamp) {
  unsigned char bytes[7];
  int got = 0;
  while (got < 7) {
    const int n = file.Read(bytes + got, 7 - got);
    if (n <= 0) return false;
    got += n;
  }
  stamp.day = bytes[0];
  stamp.month = bytes[1];
  stamp.year = static_cast<std::int16_t>(bytes[2] | (bytes[3] << 8));
  stamp.hour = bytes[4];
  stamp.minute = bytes[5];
  stamp.second = bytes[6];
  return true;
}

void WriteCutString(RecordFile& file, std::string_view text, std::size_t max) {
  (void)file.WriteString(text.substr(0, max));
}

bool ReadCutString(RecordFile& file, std::string& text, std::size_t max) {
  return file.ReadStringCut(text, static_cast<int>(max) + 1);
}

void WriteFixedField(RecordFile& file, std::string_view text, std::size_t size) {
  std::vector<char> field(size, '\0');
  const std::size_t n = std::min(text.size(), size > 0 ? size - 1 : 0);
  std::copy_n(text.data(), n, field.data());
  file.Write(field.data(), static_cast<int>(field.size()));
}

bool ReadFixedField(RecordFile& file, std::string& text, std::size_t size) {
  std::vector<char> field(size, '\0');
  int got = 0;
  while (got < static_cast<int>(size)) {
    const int n = file.Read(field.data() + got, static_cast<int>(size) - got);
    if (n <= 0) return false;
    got += n;
  }
  // A field without a zero byte keeps one character less, as the field's text never fills it.
  const auto end = std::find(field.begin(), field.end(), '\0');
  text.assign(field.begin(), end);
  if (text.size() >= size) text.resize(size > 0 ? size - 1 : 0);
  return true;
}

bool ReadU8To(RecordFile& file, std::uint8_t& value) {
  return file.ReadU8(value) == 1;
}

bool ReadU16To(RecordFile& file, int& value) {
  std::uint16_t v = 0;
  if (file.ReadU16(v) != 2) return false;
  value = v;
  return true;
}

bool ReadS16To(RecordFile& file, std::int16_t& value) {
  std::uint16_t v = 0;
  if (file.ReadU16(v) != 2) return false;
  value = static_cast<std::int16_t>(v);
  return true;
}

}  // namespace sondrel
