#pragma once
// Values that the project and settings files share beyond the record-file primitives.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/dates.h"

namespace sondrel {

class RecordFile;

// A date-time as 7 bytes: day, month, year (low byte first), hour, minute, second.
void WriteStamp(RecordFile& file, const DateStamp& stamp);
[[nodiscard]] bool ReadStamp(RecordFile& file, DateStamp& stamp);

// A string cut to max characters, so that the reader's limit of max + 1 takes all of it.
void WriteCutString(RecordFile& file, std::string_view text, std::size_t max);
// Reads a string and keeps at most max characters; longer ones are read whole so the reader
// stays in step.
[[nodiscard]] bool ReadCutString(RecordFile& file, std::string& text, std::size_t max);

// A text in a fixed field of size bytes, zero padded; read back up to its first zero.
void WriteFixedField(RecordFile& file, std::string_view text, std::size_t size);
[[nodiscard]] bool ReadFixedField(RecordFile& file, std::string& text, std::size_t size);

[[nodiscard]] bool ReadU8To(RecordFile& file, std::uint8_t& value);
[[nodiscard]] bool ReadU16To(RecordFile& file, int& value);
[[nodiscard]] bool ReadS16To(RecordFile& file, std::int16_t& value);

}  // namespace sondrel
