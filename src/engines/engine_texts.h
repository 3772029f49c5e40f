#pragma once
// The engines layer's own fixed texts. The magic and the six scrambling keys define the
// database format: a database written with one set is unreadable with another, so changing
// any of them means recompiling every shipped database.

#include <string_view>

namespace sondrel {

// The current format; the first one (without the API keys) still loads. Both magics are
// equally long, so one read tells them apart.
inline constexpr std::string_view kDatabaseMagic = "SondrelEngines2";
inline constexpr std::string_view kDatabaseMagicFormat1 = "SondrelEngines1";
static_assert(kDatabaseMagic.size() == kDatabaseMagicFormat1.size());
inline constexpr std::string_view kDatabaseFileName = "engines.db";

// Scrambling keys of the database record fields (K0 for the page-variable patterns).
inline constexpr std::string_view kEngineKey0 = "vq7Lm2Ra";
inline constexpr std::string_view kEngineKey1 = "Hollow4Reed";
inline constexpr std::string_view kEngineKey2 = "b9TxWk";
inline constexpr std::string_view kEngineKey3 = "Quartz_Lantern8";
inline constexpr std::string_view kEngineKey4 = "mz3Pd";
inline constexpr std::string_view kEngineKey5 = "Cinder7Oak2Fell";

// Why a database did not load, after its path.
inline constexpr std::string_view kDatabaseUnreadable = "cannot open engine database";
inline constexpr std::string_view kDatabaseForeign = "not an engine database";
inline constexpr std::string_view kDatabaseDamaged = "damaged engine database (checksum mismatch)";
inline constexpr std::string_view kDatabaseBadFileStem = "FILE is not a plain name in engine";

// Start-up switch words of the desktop program: compile a definition text, then the two
// engine test modes.
inline constexpr std::string_view kCompileSwitch = "--compile-engines";
inline constexpr std::string_view kCaptureSwitch = "--capture-engines";
inline constexpr std::string_view kReplaySwitch = "--replay-engines";

// Relative to the directory of the executable: where an installed database is looked for
// when the program home has none yet.
inline constexpr std::string_view kInstalledDatabaseDir = "../share/sondrel";

}  // namespace sondrel
