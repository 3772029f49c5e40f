#include "engines/extract_entry.h"

#include <algorithm>

#include "engines/engine_definition.h"
#include "engines/entry_dates.h"
#include "engines/json_string.h"
#include "engines/query.h"
#include "engines/template_step.h"
#include "engines/url_directives.h"
#include "net/html_text.h"
#include "net/url.h"
#include "net/url_encoding.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::size_t kWordSize = kEntryWordMax + 1;

std::string Cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, std::min(text.size(), max)));
}

void TrimInPlace(std::string& text) {
  if (!text.empty() && (IsSpace(text.front()) || IsSpace(text.back()))) text = Trimmed(text);
}

// How one entry's values are taken, fixed per engine.
struct ValueRules {
  bool json = false;           // values are JSON string bodies
  bool urlAsCaptured = false;  // the URL rules build the address from the captured value
  bool items = false;          // entries lead to follow-up requests: no URL needed
};

void StoreValue(ResultEntry& scratch, std::string_view name, std::string_view value,
                const EngineRequest& request, const ValueRules& rules) {
  if (EqualsNoCase(name, "TITLE")) {
    scratch.name = std::string(CutUtf8(PlainText(value, kPageTokenMax), kEntryTitleMax));
  } else if (EqualsNoCase(name, "URL")) {
    scratch.url = rules.urlAsCaptured ? std::string(StripQuotes(value))
                                      : ResolveUrl(StripQuotes(value), request.url);
  } else if (EqualsNoCase(name, "PREVIEW")) {
    scratch.preview =
        CollapseSpaces(kMaxEntryPreview + 1, PlainText(value, kPageTokenMax), kWordSize);
  } else if (EqualsNoCase(name, "DATE1")) {
    ReadDate1(value, scratch.foundAt);
  } else if (EqualsNoCase(name, "DATE2")) {
    ReadDate2(value, scratch.foundAt);
  } else if (EqualsNoCase(name, "VAR1")) {
    scratch.var1 = Cut(Trimmed(value), kMaxEntryVar1);
  }
}

bool ExtractWithTemplate(std::string_view page, std::size_t& pos, const EngineDefinition& engine,
                         ResultEntry& scratch, const EngineRequest& request,
                         const ValueRules& rules, CapturedValues* values) {
  const std::size_t start = pos;
  std::size_t templatePos = 0;
  std::string name;
  std::string value;
  bool found = false;
  while (TemplateStep(page, pos, engine.format, templatePos, name, value, false, rules.json)) {
    found = true;
    if (rules.json) value = DecodeJsonString(value);
    StoreValue(scratch, name, value, request, rules);
    if (values) values->emplace_back(name, value);
  }
  TrimInPlace(scratch.name);
  TrimInPlace(scratch.url);
  TrimInPlace(scratch.preview);
  if (!found || (scratch.url.empty() && !rules.items)) {
    pos = start;
    return false;
  }
  return true;
}

// The first word of a tag's text.
std::string_view TagName(std::string_view tag) {
  std::size_t end = 0;
  while (end < tag.size() && !IsSpace(tag[end])) ++end;
  return tag.substr(0, end);
}

int ExtractAnchor(std::string_view page, std::size_t& pos, const EngineDefinition& engine,
                  ResultEntry& scratch, const EngineRequest& request, bool final) {
  std::size_t cursor = pos;
  bool found = false;
  bool inAnchor = false;
  std::size_t anchorStart = pos;
  std::string_view token;
  std::string rewritten;
  for (;;) {
    const std::size_t tokenStart = cursor;
    const int kind = NextHtmlToken(page, cursor, token, kPageTokenMax);
    if (kind == HtmlEnd) {
      pos = page.size();
      break;
    }
    if (kind == HtmlOpenTag || kind == HtmlOpenComment) {
      pos = tokenStart;  // read again once the rest has arrived
      break;
    }
    if (kind == HtmlComment) continue;
    if (kind == HtmlText) {
      if (!inAnchor || token.empty()) continue;
      if (!final && cursor >= page.size()) {
        pos = page.size();  // the anchor text may go on in the data still to come
        break;
      }
      scratch.name = PlainText(token, kEntryTitleMax);
      inAnchor = false;
      pos = cursor;
      break;
    }
    const std::string_view tagName = TagName(token);
    if (EqualsNoCase(tagName, "/A")) {
      inAnchor = false;
      continue;
    }
    if (!EqualsNoCase(tagName, "A")) continue;
    std::string_view href;
    if (FindTagAttribute(href, kAnchorUrlMax, "HREF", token, true) != 1) continue;
    const std::string resolved = ResolveUrl(StripQuotes(href), request.url);
    if (!ApplyUrlDirectives(rewritten, resolved, engine.format)) continue;
    scratch.url = Cut(rewritten, kAnchorUrlMax);
    found = true;
    inAnchor = true;
    anchorStart = tokenStart;
  }
  if (inAnchor && !final) {
    // The walk ran out of data before the anchor's text: cutting the name here would lose
    // its rest, so the anchor is read again with the next part of the page.
    pos = anchorStart;
    scratch.url.clear();
    return kEntryNone;
  }
  TrimInPlace(scratch.name);
  TrimInPlace(scratch.url);
  TrimInPlace(scratch.preview);
  return found ? kEntryFound : kEntryNone;
}

}  // namespace

std::string PlainText(std::string_view html, std::size_t max) {
  const std::string decoded = DecodeHtmlEntities(html, kPageTokenMax);
  std::string out;
  out.reserve(std::min(decoded.size(), max));
  std::size_t i = 0;
  while (i < decoded.size() && out.size() < max) {
    if (decoded[i] == '<') {
      const std::size_t close = decoded.find('>', i + 1);
      if (close != std::string::npos) {
        i = close + 1;
        continue;
      }
    }
    out.push_back(decoded[i++]);
  }
  return out;
}

void PrepareScratch(ResultEntry& scratch, const EngineDefinition& engine) {
  scratch.name.clear();
  scratch.url.clear();
  scratch.preview.clear();
  scratch.var1.clear();
  scratch.engine = Cut(engine.name, kMaxEntryEngine);
  scratch.foundAt = DateStamp::CurrentLocal();
}

int ExtractEntry(std::string_view page, std::size_t& pos, const EngineDefinition& engine,
                 ResultEntry& scratch, const EngineRequest& request, bool final,
                 CapturedValues* values) {
  PrepareScratch(scratch, engine);
  if (values) values->clear();
  pos = std::min(pos, page.size());
  ValueRules rules;
  rules.json = engine.decoding == ValueDecoding::kJson;
  rules.items = !engine.follow.empty();
  rules.urlAsCaptured = !engine.urlFormat.empty() && BuildsFromValue(engine.urlFormat);
  CapturedValues own;
  if (rules.urlAsCaptured && !values) values = &own;
  const bool anchorMode = engine.format.find(kAnchorModeMarker) != std::string::npos;
  if (anchorMode) {
    if (ExtractAnchor(page, pos, engine, scratch, request, final) != kEntryFound) {
      return kEntryNone;
    }
  } else if (!ExtractWithTemplate(page, pos, engine, scratch, request, rules, values)) {
    return kEntryNone;
  }
  if (rules.items) return kEntryFound;  // its follow-up request brings the results
  if (!engine.urlFormat.empty()) {
    std::string rewritten;
    CapturedValues known;
    if (rules.urlAsCaptured) {
      // The entry's own values first, then those of the item a follow-up was made for.
      known = *values;
      known.insert(known.end(), request.itemValues.begin(), request.itemValues.end());
    }
    if (!ApplyUrlDirectives(rewritten, scratch.url, engine.urlFormat,
                            rules.urlAsCaptured ? &known : nullptr)) {
      return kEntryRefused;
    }
    // A built address names the file by the value it was built from ("01 Blue Bossa.mp3"),
    // which reads better than the encoded address.
    const std::string captured = rules.urlAsCaptured ? scratch.url : std::string();
    if (rules.urlAsCaptured) rewritten = ResolveUrl(rewritten, request.url);
    scratch.url = Cut(rewritten, kMaxEntryUrl);
    if (scratch.name.empty()) {
      scratch.name = Cut(rules.urlAsCaptured ? captured : scratch.url, kNameFromUrlMax);
    }
    scratch.name = CollapseSpaces(kDirectedNameMax + 1, scratch.name, kWordSize);
  }
  // A rewrite can leave nothing (euf on a link without that parameter): no address, no result.
  if (scratch.url.empty()) return kEntryRefused;
  return kEntryFound;
}

}  // namespace sondrel
