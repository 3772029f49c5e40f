#include "engines/engine_database.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "engines/definition_text.h"
#include "engines/engine_texts.h"
#include "engines/extended_keys.h"
#include "support/paths.h"
#include "support/record_file.h"

namespace sondrel {
namespace {

constexpr std::size_t kChecksumFieldSize = 4;

// Reads the whole stored string and keeps its first kDatabaseStringMax - 1 bytes, so an
// over-long string never leaves the rest of the file out of step. Scrambling works byte by
// byte from the start, so unscrambling the kept prefix gives the prefix of the text.
bool ReadText(RecordFile& file, std::string& dst, std::string_view key) {
  if (!file.ReadStringCut(dst, kDatabaseStringMax)) return false;
  dst = Unscrambled(dst, key);
  return true;
}

std::unique_ptr<VarPattern> ReadPattern(RecordFile& file) {
  auto pattern = std::make_unique<VarPattern>();
  if (!ReadText(file, pattern->pattern, kEngineKey0)) return nullptr;
  return pattern;
}

bool ReadFlag(RecordFile& file, std::uint8_t& flag) { return file.ReadU8(flag) == 1; }

// The API keys of a record: a count, then KEY and value per key, as the definition text
// writes them. Keys this program does not know are passed over, so a newer database with
// more keys still loads.
void WriteExtendedKeys(RecordFile& file, const EngineDefinition& engine) {
  const auto keys = ExtendedKeysOf(engine);
  file.WriteU16(static_cast<std::uint16_t>(keys.size()));
  for (const auto& [key, value] : keys) {
    file.WriteScrambled(key, kEngineKey4);
    file.WriteScrambled(value, kEngineKey5);
  }
}

bool ReadExtendedKeys(RecordFile& file, EngineDefinition& engine) {
  std::uint16_t count = 0;
  if (file.ReadU16(count) != 2) return false;
  std::string key;
  std::string value;
  std::string error;
  for (int i = 0; i < count; ++i) {
    if (!ReadText(file, key, kEngineKey4) || !ReadText(file, value, kEngineKey5)) return false;
    (void)SetExtendedKey(engine, key, value, error);
  }
  return true;
}

// Which format the magic at the start of file names; 0 for none of ours.
int ReadFormat(RecordFile& file) {
  std::string magic(kDatabaseMagic.size(), '\0');
  if (file.Read(magic.data(), static_cast<int>(magic.size())) != static_cast<int>(magic.size())) {
    return 0;
  }
  if (magic == kDatabaseMagic) return 2;
  if (magic == kDatabaseMagicFormat1) return 1;
  return 0;
}

bool ChecksumMatches(const std::string& path, std::uint32_t stored) {
  std::string image;
  if (!FileReadAll(path, image) || image.size() < kDatabaseMagic.size()) return false;
  // Both formats are checked alike: the CRC does not depend on the magic.
  image.replace(0, kDatabaseMagic.size(), kDatabaseMagic);
  std::uint32_t crc = 0;
  return DatabaseChecksumOf(image, crc) && crc == stored;
}

bool Refuse(LoadedDatabase& info, EngineList& list, std::string problem) {
  list.Clear();
  info.problem = std::move(problem);
  return false;
}

void StoreU32(unsigned char* out, std::uint32_t v) {
  for (std::size_t i = 0; i < kChecksumFieldSize; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Replaces the checksum field of the database at path with the CRC of everything after it.
// A file that does not start with our magic is left as it is.
bool WriteChecksum(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (!file) return false;
  bool ok = true;
  std::vector<char> magic(kDatabaseMagic.size());
  if (std::fread(magic.data(), 1, magic.size(), file) != magic.size() ||
      std::string_view(magic.data(), magic.size()) != kDatabaseMagic) {
    return std::fclose(file) == 0;
  }
  long fieldOffset = std::ftell(file);
  unsigned char field[kChecksumFieldSize];
  if (std::fread(field, 1, sizeof field, file) != sizeof field) ok = false;
  std::uint32_t crc = kDatabaseCrcStart;
  std::vector<char> block(kDatabaseCrcBlock);
  while (ok) {
    std::size_t got = std::fread(block.data(), 1, block.size(), file);
    Crc32Update(kDatabaseCrcPolynomial, crc, block.data(), got);
    if (got < block.size()) {
      ok = !std::ferror(file);
      break;
    }
  }
  if (ok) {
    StoreU32(field, crc);
    ok = std::fseek(file, fieldOffset, SEEK_SET) == 0 &&
         std::fwrite(field, 1, sizeof field, file) == sizeof field;
  }
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

}  // namespace

void WriteEngineRecord(RecordFile& file, const EngineDefinition& engine) {
  file.WriteScrambled(engine.name, kEngineKey1);
  file.WriteScrambled(engine.homeUrl, kEngineKey2);
  file.WriteScrambled(engine.fileStem, kEngineKey2);
  file.WriteScrambled(engine.action, kEngineKey3);
  file.WriteScrambled(engine.more, kEngineKey4);
  WriteList(file, engine.varPatterns, [](RecordFile& f, const VarPattern& pattern) {
    f.WriteScrambled(pattern.pattern, kEngineKey0);
  });
  file.WriteU8(engine.escapeVars);
  file.WriteScrambled(engine.format, kEngineKey5);
  file.WriteScrambled(engine.urlFormat, kEngineKey5);
  file.WriteScrambled(engine.operators, kEngineKey4);
  file.WriteScrambled(engine.closeness, kEngineKey3);
  file.WriteU8(engine.varsAfterEntries);
  file.WriteScrambled(engine.startMarker, kEngineKey4);
  file.WriteScrambled(engine.varMarker, kEngineKey3);
  file.WriteScrambled(engine.categories, kEngineKey3);
  WriteExtendedKeys(file, engine);
}

std::unique_ptr<EngineDefinition> ReadEngineRecord(RecordFile& file, int format) {
  auto engine = std::make_unique<EngineDefinition>();
  bool ok = ReadText(file, engine->name, kEngineKey1) &&
            ReadText(file, engine->homeUrl, kEngineKey2) &&
            ReadText(file, engine->fileStem, kEngineKey2) &&
            ReadText(file, engine->action, kEngineKey3) &&
            ReadText(file, engine->more, kEngineKey4) &&
            ReadList(file, engine->varPatterns, ReadPattern) &&
            ReadFlag(file, engine->escapeVars) &&
            ReadText(file, engine->format, kEngineKey5) &&
            ReadText(file, engine->urlFormat, kEngineKey5) &&
            ReadText(file, engine->operators, kEngineKey4) &&
            ReadText(file, engine->closeness, kEngineKey3) &&
            ReadFlag(file, engine->varsAfterEntries) &&
            ReadText(file, engine->startMarker, kEngineKey4) &&
            ReadText(file, engine->varMarker, kEngineKey3) &&
            ReadText(file, engine->categories, kEngineKey3) &&
            (format < 2 || ReadExtendedKeys(file, *engine));
  if (!ok) return nullptr;
  return engine;
}

bool LoadDatabase(const std::string& path, EngineList& list, LoadedDatabase& info) {
  list.Clear();
  info = LoadedDatabase{};
  // A directory opens for reading on POSIX but is no database.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return Refuse(info, list, std::string(kDatabaseUnreadable));
  }
  std::unique_ptr<RecordFile> file = RecordFile::Open(path, false);
  if (!file) return Refuse(info, list, std::string(kDatabaseUnreadable));
  info.date = FileModifiedStamp(path.c_str());
  const int format = ReadFormat(*file);
  std::uint32_t checksum = 0;
  if (format == 0 || file->ReadU32(checksum) != 4) {
    return Refuse(info, list, std::string(kDatabaseForeign));
  }
  info.checksum = checksum;
  if (!ChecksumMatches(path, checksum)) return Refuse(info, list, std::string(kDatabaseDamaged));
  std::uint16_t count = 0;
  if (file->ReadU16(count) != 2) return Refuse(info, list, std::string(kDatabaseDamaged));
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<EngineDefinition> engine = ReadEngineRecord(*file, format);
    if (!engine) return Refuse(info, list, std::string(kDatabaseDamaged));
    // The test modes put FILE into a path; a database (one from an update too) must not be
    // able to lead them out of their folder.
    if (!IsPlainFileStem(engine->fileStem)) {
      return Refuse(info, list, std::string(kDatabaseBadFileStem) + " " + engine->name);
    }
    list.Append(std::move(engine));
  }
  info.format = format;
  return true;
}

bool WriteDatabase(const std::string& path, const EngineList& list, std::uint32_t number) {
  // Written beside the target and renamed over it, so a failed compile never leaves a
  // half-written database where the program would load it.
  std::string temporary = path + ".tmp" + std::to_string(::getpid());
  std::unique_ptr<RecordFile> file = RecordFile::Open(temporary, true);
  if (!file) return false;
  file->WriteMagic(kDatabaseMagic);
  file->WriteU32(number);
  WriteList(*file, list, WriteEngineRecord);
  bool ok = file->Close();
  file.reset();
  ok = ok && WriteChecksum(temporary);
  std::error_code error;
  if (ok) {
    std::filesystem::rename(temporary, path, error);
    ok = !error;
  }
  if (!ok) std::filesystem::remove(temporary, error);
  return ok;
}

int CompileDefinitions(const std::string& textPath, const std::string& databasePath,
                       std::uint32_t number, DefinitionProblems* problems) {
  EngineList list;
  DefinitionProblems found;
  std::error_code error;
  if (std::filesystem::is_directory(textPath, error) ||
      !ReadDefinitionFile(textPath, list, &found)) {
    return CompileTextUnreadable;
  }
  const bool invalid = !found.errors.empty();
  if (problems) *problems = std::move(found);
  if (invalid) return CompileTextInvalid;
  if (list.Count() == 0) return CompileNoEngine;
  return WriteDatabase(databasePath, list, number) ? CompileOk : CompileDatabaseUnwritable;
}

bool DatabaseChecksumOf(std::string_view image, std::uint32_t& crc) {
  std::size_t header = kDatabaseMagic.size() + kChecksumFieldSize;
  if (image.size() < header || image.substr(0, kDatabaseMagic.size()) != kDatabaseMagic) {
    return false;
  }
  crc = kDatabaseCrcStart;
  Crc32Update(kDatabaseCrcPolynomial, crc, image.data() + header, image.size() - header);
  return true;
}

}  // namespace sondrel
