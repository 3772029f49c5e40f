#pragma once
// The engine update's own fixed texts: where a new engine database is asked for, and what the
// Update Engines command tells the user.

#include <string_view>

namespace sondrel {

// Answers with a whole engine database, or 304 when the date sent as If-Modified-Since is
// current. No update server is run yet: the name cannot resolve, so the check fails quietly
// until a real one is put here.
inline constexpr std::string_view kUpdateUrl = "http://update.sondrel.invalid/engines.db";
// When set and not empty, replaces kUpdateUrl (a local server in tests and demos).
inline constexpr const char* kUpdateUrlVariable = "SONDREL_UPDATE_URL";

inline constexpr std::string_view kUpdateProgressCaption = "Update database";
inline constexpr std::string_view kUpdateMessageCaption = "Sondrel";
inline constexpr std::string_view kUpdateDoneText = "The search engines have been updated.";
inline constexpr std::string_view kUpdateNothingNewText =
    "There is nothing new: the search engines are up to date.";
inline constexpr std::string_view kUpdateFailedText = "The search engines could not be updated.";
// Why, where the network layer has no word of its own for it.
inline constexpr std::string_view kUpdateRedirectLoopText = "redirected too many times";
inline constexpr std::string_view kUpdateTransferFailedText = "the transfer broke off";
inline constexpr std::string_view kUpdateNotDatabaseText = "not an engine database";
// Beside the database: where a received database is tried before it replaces the old one.
inline constexpr std::string_view kUpdateCandidateSuffix = ".update";

}  // namespace sondrel
