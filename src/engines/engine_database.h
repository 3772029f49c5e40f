#pragma once
// The engine database: magic, a 4-byte checksum, then the engine list with scrambled strings.
// Compiled from a definition text by the compile mode, loaded at start-up, replaced whole by
// the engine update.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engines/engine_definition.h"
#include "support/dates.h"

namespace sondrel {

class RecordFile;

inline constexpr std::uint32_t kDatabaseCrcPolynomial = 0x87654287;
inline constexpr std::uint32_t kDatabaseCrcStart = 0x5DA45281;
inline constexpr int kDatabaseCrcBlock = 10000;
// Strings are read with this limit (at most one byte less is kept).
inline constexpr int kDatabaseStringMax = 1000;

enum CompileResult {
  CompileOk = 1,
  CompileTextUnreadable = 0,
  CompileDatabaseUnwritable = -1,
};

struct LoadedDatabase {
  DateStamp date;              // modification time of the file
  std::uint32_t checksum = 0;  // as stored; not verified
};

// Replaces the content of list with the engines of the database. False only when the file
// cannot be opened; a foreign magic loads nothing and a truncated file loads the engines that
// were read completely.
[[nodiscard]] bool LoadDatabase(const std::string& path, EngineList& list, LoadedDatabase& info);

// One record in the database layout.
void WriteEngineRecord(RecordFile& file, const EngineDefinition& engine);
// Null when the record cannot be read completely.
std::unique_ptr<EngineDefinition> ReadEngineRecord(RecordFile& file);

// Writes list as a database at path with number in the checksum field, then replaces it with
// the checksum of everything after that field. The file appears only when all of it was written.
[[nodiscard]] bool WriteDatabase(const std::string& path, const EngineList& list,
                                 std::uint32_t number);
// The compile mode: definition text at textPath to a database at databasePath.
[[nodiscard]] int CompileDefinitions(const std::string& textPath, const std::string& databasePath,
                                     std::uint32_t number);

// The checksum of a database image: the CRC of every byte after the checksum field; false
// when the image does not start with the magic and a checksum field.
[[nodiscard]] bool DatabaseChecksumOf(std::string_view image, std::uint32_t& crc);

}  // namespace sondrel
