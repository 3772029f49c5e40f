#include "engines/query.h"

#include <array>
#include <cstdio>

#include "engines/engine_definition.h"
#include "net/url.h"
#include "net/url_encoding.h"
#include "results/query_words.h"
#include "support/dates.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::string_view kPlaceholderMarker = "__";
constexpr std::array<std::string_view, 12> kMonthAbbreviations = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kHitsValue = "10";

std::string_view CutVar(std::string_view var) { return var.substr(0, kQueryVarMax); }

// The value of one placeholder ("__QUERY__", markers included); empty for an unknown one.
std::string PlaceholderValue(std::string_view placeholder, const QueryFields& fields) {
  if (EqualsNoCase(placeholder, "__QUERY__")) return QueryWords(fields.query);
  if (EqualsNoCase(placeholder, "__VAR1__")) return QueryWords(CutVar(fields.var1));
  if (EqualsNoCase(placeholder, "__VAR2__")) return QueryWords(CutVar(fields.var2));
  if (EqualsNoCase(placeholder, "__VAR3__")) return QueryWords(CutVar(fields.var3));
  if (EqualsNoCase(placeholder, "__VAR4__")) return QueryWords(CutVar(fields.var4));
  if (EqualsNoCase(placeholder, "__HITS__")) return std::string(kHitsValue);
  if (EqualsNoCase(placeholder, "__DATEFROM__")) return DateFromText(fields.daysBack);
  if (EqualsNoCase(placeholder, "__SUBJECT__")) return std::string(CutVar(fields.var1));
  if (EqualsNoCase(placeholder, "__GROUP__")) return std::string(CutVar(fields.var2));
  if (EqualsNoCase(placeholder, "__AUTHOR__")) return std::string(CutVar(fields.var3));
  if (EqualsNoCase(placeholder, "__OPER__")) return std::string(CutVar(fields.var4));
  return {};
}

// Appends as much of encoded as fits below size, never leaving half of a "%XX".
void AppendEncodedCut(std::string& params, std::string_view encoded, std::size_t size) {
  const std::size_t room = size - 1 > params.size() ? size - 1 - params.size() : 0;
  std::size_t take = std::min(room, encoded.size());
  if (take < encoded.size()) {
    std::size_t percent = encoded.substr(0, take).rfind('%');
    if (percent != std::string_view::npos && take - percent < 3) take = percent;
  }
  params.append(encoded.substr(0, take));
}

}  // namespace

std::string DateFromText(int daysBack) {
  CalendarDate today = Today();
  CalendarDate from = DayNumberToDate(DayNumber(today.day, today.month, today.year) - daysBack);
  int month = from.month >= 1 && from.month <= 12 ? from.month : 1;
  char text[32];
  std::snprintf(text, sizeof text, "%s %d %d", kMonthAbbreviations[month - 1].data(), from.day,
                from.year);
  return text;
}

void BuildRequest(EngineRequest& request, const QueryFields& fields,
                  const EngineDefinition& engine) {
  std::string paramTemplate;
  request.method = SplitPostUrl(request.url, kRequestUrlSize - 1, paramTemplate,
                                kParamTemplateSize - 1, engine.action) == 1
                       ? MethodPost
                       : MethodGet;
  request.params.clear();
  std::string piece;
  std::size_t pos = 0;
  for (;;) {
    int kind = SplitTemplate(paramTemplate, pos, piece, kTemplatePieceSize, kPlaceholderMarker);
    if (kind == TemplateEnd) break;
    if (kind == TemplateLiteral) {
      StrAppendN(request.params, piece, kRequestParamsSize);
    } else {
      AppendEncodedCut(request.params, FormEncode(PlaceholderValue(piece, fields)),
                       kRequestParamsSize);
    }
  }
}

std::string RequestAddress(const EngineRequest& request) {
  if (request.method == MethodPost) return request.url;
  std::string address = request.url;
  address.push_back('?');
  address += request.params;
  if (address.size() > kGetAddressSize - 1) address.resize(kGetAddressSize - 1);
  return address;
}

std::string_view RequestBody(const EngineRequest& request) {
  return request.method == MethodPost ? std::string_view(request.params) : std::string_view();
}

}  // namespace sondrel
