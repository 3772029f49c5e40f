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
constexpr std::string_view kKeyPlaceholder = "__KEY__";

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

bool IsQueryPlaceholder(std::string_view placeholder) {
  static constexpr std::string_view kNames[] = {
      "__QUERY__", "__VAR1__",  "__VAR2__",   "__VAR3__",  "__VAR4__", "__HITS__",
      "__DATEFROM__", "__SUBJECT__", "__GROUP__", "__AUTHOR__", "__OPER__"};
  for (std::string_view name : kNames) {
    if (EqualsNoCase(placeholder, name)) return true;
  }
  return false;
}

bool Mentions(std::string_view text, std::string_view placeholder) {
  return BufFind(text, placeholder, false) >= 0;
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
  request.fields = fields;
  request.pageIndex = 0;
  request.itemValues.clear();
  std::string piece;
  std::size_t pos = 0;
  for (;;) {
    int kind = SplitTemplate(paramTemplate, pos, piece, kTemplatePieceSize, kPlaceholderMarker);
    if (kind == TemplateEnd) break;
    if (kind == TemplateLiteral) {
      StrAppendN(request.params, piece, kRequestParamsSize);
    } else {
      AppendEncodedCut(request.params,
                       FormEncode(RequestPlaceholderValue(piece, request, engine).value_or("")),
                       kRequestParamsSize);
    }
  }
}

std::optional<std::string> RequestPlaceholderValue(std::string_view placeholder,
                                                   const EngineRequest& request,
                                                   const EngineDefinition& engine) {
  if (IsQueryPlaceholder(placeholder)) return PlaceholderValue(placeholder, request.fields);
  if (EqualsNoCase(placeholder, kKeyPlaceholder)) return request.fields.userKey;
  if (EqualsNoCase(placeholder, "__COUNTER__")) {
    const std::int64_t value = static_cast<std::int64_t>(engine.counter.start) +
                               static_cast<std::int64_t>(engine.counter.step) * request.pageIndex;
    return std::to_string(value);
  }
  return std::nullopt;
}

bool UsesUserKey(const EngineDefinition& engine) {
  if (Mentions(engine.action, kKeyPlaceholder) || Mentions(engine.more, kKeyPlaceholder) ||
      Mentions(engine.follow, kKeyPlaceholder)) {
    return true;
  }
  for (const std::string& header : engine.headers) {
    if (Mentions(header, kKeyPlaceholder)) return true;
  }
  return false;
}

std::string WithoutUserKey(std::string_view text, std::string_view key) {
  std::string out(text);
  if (key.empty()) return out;
  for (const std::string& form : {std::string(key), FormEncode(key)}) {
    for (std::size_t at = out.find(form); at != std::string::npos;
         at = out.find(form, at + kKeyPlaceholder.size())) {
      out.replace(at, form.size(), kKeyPlaceholder);
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> RequestHeaders(const EngineRequest& request,
                                                                const EngineDefinition& engine) {
  std::vector<std::pair<std::string, std::string>> headers;
  const PlaceholderLookup lookup = [&](std::string_view placeholder) {
    return RequestPlaceholderValue(placeholder, request, engine);
  };
  for (const std::string& line : engine.headers) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string value = FillTemplate(Trimmed(line.substr(colon + 1)), lookup, kHeaderLineMax);
    // A key or query can never add a header line of its own.
    std::erase_if(value, [](char c) { return c == '\r' || c == '\n'; });
    headers.emplace_back(Trimmed(line.substr(0, colon)), std::move(value));
  }
  return headers;
}

std::string RequestAddress(const EngineRequest& request) {
  if (request.method == MethodPost) return request.url;
  if (request.followUp && request.params.empty()) return request.url;
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
