#pragma once
// Turning the user's query into one engine's HTTP request: the engine's action is the template,
// its "__NAME__" placeholders are filled from the query fields.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/url_building.h"

namespace sondrel {

struct EngineDefinition;

// Buffer sizes of a built request: url and params hold at most one character less.
inline constexpr std::size_t kRequestUrlSize = 1024;
inline constexpr std::size_t kRequestParamsSize = 2024;
inline constexpr std::size_t kParamTemplateSize = 1024;
inline constexpr std::size_t kTemplatePieceSize = 1024;
// The address a GET request is sent to (url "?" params) is cut at this size.
inline constexpr std::size_t kGetAddressSize = 2048;
inline constexpr std::size_t kQueryVarMax = 199;
inline constexpr std::size_t kHeaderLineMax = 1000;  // an engine's header value, filled

enum RequestMethod { MethodGet = 0, MethodPost = 1 };

// What the search document provides for the placeholders, and the user's key for the engine.
struct QueryFields {
  std::string query;
  std::string var1, var2, var3, var4;  // at most kQueryVarMax characters are used
  std::int16_t daysBack = 0;  // as the search document keeps it
  std::string userKey;        // __KEY__: from the settings' engineKeys; never written to a file
};

struct EngineRequest {
  int method = MethodGet;
  std::string url;     // "http://host/find.cgi", without the parameters
  std::string params;  // "q=a+b": the query string of a GET, the body of a POST
  // What the first request was built from: next pages and follow-ups use the same fields.
  QueryFields fields;
  int pageIndex = 0;          // 0 for the first page, n for the n-th next one (__COUNTER__)
  CapturedValues itemValues;  // of a follow-up: the values of the item it was made for
  bool followUp = false;      // a follow-up: sent to its address as it is, no '?' added
};

// Fills request from the engine's action and the fields. Always succeeds; long values are cut
// at the sizes above, never between the characters of one "%XX".
void BuildRequest(EngineRequest& request, const QueryFields& fields,
                  const EngineDefinition& engine);

// The value of a request placeholder ("__QUERY__", "__COUNTER__", "__KEY__" ..., markers
// included) for request, not yet encoded; nullopt when placeholder is not one of them.
std::optional<std::string> RequestPlaceholderValue(std::string_view placeholder,
                                                   const EngineRequest& request,
                                                   const EngineDefinition& engine);

// Whether any request of the engine (ACTION, MORE, FOLLOW, HEADER) needs the user's key.
bool UsesUserKey(const EngineDefinition& engine);
// text with the key, as is and form-encoded, replaced by "__KEY__": for what may be shown or
// stored (captured page files, messages).
std::string WithoutUserKey(std::string_view text, std::string_view key);

// The engine's HEADER lines for request, placeholders filled, as name and value.
std::vector<std::pair<std::string, std::string>> RequestHeaders(const EngineRequest& request,
                                                                const EngineDefinition& engine);

// The address the request is sent to: url "?" params for a GET (the '?' even when params is
// empty, except for a follow-up), url alone for a POST.
std::string RequestAddress(const EngineRequest& request);
// The body of a POST (params), empty for a GET.
std::string_view RequestBody(const EngineRequest& request);

// "Mon D YYYY" of the day daysBack days before today.
std::string DateFromText(int daysBack);

}  // namespace sondrel
