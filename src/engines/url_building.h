#pragma once
// Building addresses out of captured values: percent-encoding for paths, and templates whose
// "__NAME__" placeholders are filled by a lookup (follow-up requests, the pre= directive).

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sondrel {

// The values one entry's template captured, by placeholder name without markers ("ID"), in
// the order captured. Decoded as the engine asks (JSON strings), otherwise as found.
using CapturedValues = std::vector<std::pair<std::string, std::string>>;

// The first value captured under name (ignoring case); null when there is none.
const std::string* FindCaptured(const CapturedValues& values, std::string_view name);

// Every byte but A-Z a-z 0-9 - . _ ~ becomes %XX: a space is %20 (never '+'), '/' is %2F.
std::string EncodePathSegment(std::string_view text);
// The same, but '/' and complete "%XX" escapes stay: a path of several segments, encoded
// once however often this runs.
std::string EncodePath(std::string_view text);

// The value of a placeholder ("__ID__", markers included), or nullopt when unknown.
using PlaceholderLookup = std::function<std::optional<std::string>(std::string_view placeholder)>;
// templ with each placeholder replaced by its value (an unknown one gives nothing); the
// result is cut at max characters. missing, when given, receives whether any was unknown.
std::string FillTemplate(std::string_view templ, const PlaceholderLookup& lookup, std::size_t max,
                         bool* missing = nullptr);

}  // namespace sondrel
