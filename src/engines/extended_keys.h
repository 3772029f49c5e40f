#pragma once
// The definition keys for engines that answer with APIs: value decoding, request headers,
// counter paging, a page cap and a follow-up request per entry. The definition text and the
// database share this one reading and printing of them, so both round-trip the same way.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/engine_definition.h"

namespace sondrel {

enum class KeyResult {
  kSet,       // the key is one of these and its value was stored
  kUnknown,   // not one of these keys
  kBadValue,  // one of these keys, but the value does not read; nothing was stored
};

// Stores value under key (compared ignoring case). error names the problem of a bad value.
KeyResult SetExtendedKey(EngineDefinition& engine, std::string_view key, std::string_view value,
                         std::string& error);

// The keys whose values differ from their defaults, as KEY and value in a fixed order;
// HEADER once per header. Setting them on a fresh engine gives the same fields.
std::vector<std::pair<std::string, std::string>> ExtendedKeysOf(const EngineDefinition& engine);

// A FILE value that keeps the test-mode files inside their folder: empty, or letters, digits,
// '-', '_' and '.', not starting with '.', at most kFileStemMax characters.
inline constexpr std::size_t kFileStemMax = 64;
bool IsPlainFileStem(std::string_view stem);

}  // namespace sondrel
