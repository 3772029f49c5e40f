#include "engines/extended_keys.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "support/text.h"

namespace sondrel {
namespace {

std::string_view TrimmedView(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::int32_t> ReadInt(std::string_view text) {
  text = TrimmedView(text);
  std::int32_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last) return std::nullopt;
  return value;
}

KeyResult SetLimit(int& field, std::string_view value, int limit, std::string& error) {
  const std::optional<std::int32_t> number = ReadInt(value);
  if (!number || *number < 1 || *number > limit) {
    error = "a number from 1 to " + std::to_string(limit);
    return KeyResult::kBadValue;
  }
  field = *number;
  return KeyResult::kSet;
}

KeyResult SetCounter(CounterPaging& counter, std::string_view value, std::string& error) {
  const std::size_t comma = value.find(',');
  const std::optional<std::int32_t> start =
      comma == std::string_view::npos ? std::nullopt : ReadInt(value.substr(0, comma));
  const std::optional<std::int32_t> step =
      start ? ReadInt(value.substr(comma + 1)) : std::nullopt;
  if (!start || !step || *start < 0 || *step < 1) {
    error = "START,STEP with START 0 or more and STEP 1 or more";
    return KeyResult::kBadValue;
  }
  counter = CounterPaging{true, *start, *step};
  return KeyResult::kSet;
}

KeyResult SetHeader(EngineDefinition& engine, std::string_view value, std::string& error) {
  const std::size_t colon = value.find(':');
  const std::string_view name = colon == std::string_view::npos
                                    ? std::string_view()
                                    : TrimmedView(value.substr(0, colon));
  const bool nameOk = !name.empty() && name.find_first_of(" \t\r\n") == std::string_view::npos;
  if (!nameOk || value.find_first_of("\r\n") != std::string_view::npos) {
    error = "Name: value";
    return KeyResult::kBadValue;
  }
  engine.headers.emplace_back(value);
  return KeyResult::kSet;
}

KeyResult SetDecoding(EngineDefinition& engine, std::string_view value, std::string& error) {
  if (EqualsNoCase(value, "json")) {
    engine.decoding = ValueDecoding::kJson;
  } else if (EqualsNoCase(value, "html")) {
    engine.decoding = ValueDecoding::kHtml;
  } else {
    error = "json or html";
    return KeyResult::kBadValue;
  }
  return KeyResult::kSet;
}

struct TextKey {
  std::string_view key;
  std::string EngineDefinition::*field;
};
constexpr TextKey kFollowTextKeys[] = {
    {"FOLLOW", &EngineDefinition::follow},
    {"FOLLOWFORMAT", &EngineDefinition::followFormat},
    {"FOLLOWURL", &EngineDefinition::followUrlFormat},
    {"FOLLOWSF1", &EngineDefinition::followStartMarker},
};

}  // namespace

KeyResult SetExtendedKey(EngineDefinition& engine, std::string_view key, std::string_view value,
                         std::string& error) {
  for (const TextKey& text : kFollowTextKeys) {
    if (EqualsNoCase(key, text.key)) {
      engine.*text.field = std::string(value);
      return KeyResult::kSet;
    }
  }
  if (EqualsNoCase(key, "DECODE")) return SetDecoding(engine, value, error);
  if (EqualsNoCase(key, "HEADER")) return SetHeader(engine, value, error);
  if (EqualsNoCase(key, "COUNTER")) return SetCounter(engine.counter, value, error);
  if (EqualsNoCase(key, "PAGES")) return SetLimit(engine.maxPages, value, kMaxPagesLimit, error);
  if (EqualsNoCase(key, "FOLLOWMAX")) {
    return SetLimit(engine.maxFollowUps, value, kFollowUpsLimit, error);
  }
  return KeyResult::kUnknown;
}

std::vector<std::pair<std::string, std::string>> ExtendedKeysOf(const EngineDefinition& engine) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (engine.decoding == ValueDecoding::kJson) keys.emplace_back("DECODE", "json");
  for (const std::string& header : engine.headers) keys.emplace_back("HEADER", header);
  if (engine.counter.on) {
    keys.emplace_back("COUNTER", std::to_string(engine.counter.start) + "," +
                                     std::to_string(engine.counter.step));
  }
  if (engine.maxPages > 0) keys.emplace_back("PAGES", std::to_string(engine.maxPages));
  for (const TextKey& text : kFollowTextKeys) {
    const std::string& value = engine.*text.field;
    if (!value.empty()) keys.emplace_back(text.key, value);
  }
  if (engine.maxFollowUps > 0) keys.emplace_back("FOLLOWMAX", std::to_string(engine.maxFollowUps));
  return keys;
}

bool IsPlainFileStem(std::string_view stem) {
  if (stem.size() > kFileStemMax || stem.starts_with('.')) return false;
  for (const char c : stem) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) return false;
  }
  return true;
}

}  // namespace sondrel
