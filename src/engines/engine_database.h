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
  CompileTextInvalid = -2,  // the text has errors (DefinitionProblems::errors)
  CompileNoEngine = -3,     // the text holds no engine section
};

struct DefinitionProblems;

struct LoadedDatabase {
  DateStamp date;              // modification time of the file
  std::uint32_t checksum = 0;  // as stored, and verified
  int format = 0;              // 1 or 2 once loaded
  std::string problem;         // why it did not load: "not an engine database", ...
};

// Replaces the content of list with the engines of the database. False, with info.problem
// set and the list empty, when the file cannot be opened, is not an engine database, does not
// match its checksum, cannot be read whole, or names a FILE that is not a plain name: a
// damaged database is reported, never taken for one without engines.
[[nodiscard]] bool LoadDatabase(const std::string& path, EngineList& list, LoadedDatabase& info);

// One record in the database layout (the current format).
void WriteEngineRecord(RecordFile& file, const EngineDefinition& engine);
// Null when the record cannot be read completely. format 1 records end before the API keys.
std::unique_ptr<EngineDefinition> ReadEngineRecord(RecordFile& file, int format = 2);

// Writes list as a database at path with number in the checksum field, then replaces it with
// the checksum of everything after that field. The file appears only when all of it was written.
[[nodiscard]] bool WriteDatabase(const std::string& path, const EngineList& list,
                                 std::uint32_t number);
// The compile mode: definition text at textPath to a database at databasePath. Nothing is
// written when the text has errors or no engine; problems (optional) receives what to tell
// the author.
[[nodiscard]] int CompileDefinitions(const std::string& textPath, const std::string& databasePath,
                                     std::uint32_t number, DefinitionProblems* problems = nullptr);

// The checksum of a database image: the CRC of every byte after the checksum field; false
// when the image does not start with the magic and a checksum field.
[[nodiscard]] bool DatabaseChecksumOf(std::string_view image, std::uint32_t& crc);

}  // namespace sondrel
