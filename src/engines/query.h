#pragma once
// Turning the user's query into one engine's HTTP request: the engine's action is the template,
// its "__NAME__" placeholders are filled from the query fields.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

enum RequestMethod { MethodGet = 0, MethodPost = 1 };

struct EngineRequest {
  int method = MethodGet;
  std::string url;     // "http://host/find.cgi", without the parameters
  std::string params;  // "q=a+b": the query string of a GET, the body of a POST
};

// What the search document provides for the placeholders.
struct QueryFields {
  std::string query;
  std::string var1, var2, var3, var4;  // at most kQueryVarMax characters are used
  std::int16_t daysBack = 0;  // as the search document keeps it
};

// Fills request from the engine's action and the fields. Always succeeds; long values are cut
// at the sizes above, never between the characters of one "%XX".
void BuildRequest(EngineRequest& request, const QueryFields& fields,
                  const EngineDefinition& engine);

// The address the request is sent to: url "?" params for a GET (the '?' even when params is
// empty), url alone for a POST.
std::string RequestAddress(const EngineRequest& request);
// The body of a POST (params), empty for a GET.
std::string_view RequestBody(const EngineRequest& request);

// "Mon D YYYY" of the day daysBack days before today.
std::string DateFromText(int daysBack);

}  // namespace sondrel
