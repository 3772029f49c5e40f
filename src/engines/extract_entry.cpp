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

// Whether CollapseSpaces would give text back unchanged: single spaces between words of at
// most wordSize - 1 characters (no tab, line feed, vertical tab, form feed, carriage return),
// nothing to trim, nothing to cut. Most names and previews are
// like that, and the check costs one pass instead of a word-by-word copy.
bool CollapsedAlready(std::string_view text, std::size_t dstSize, std::size_t wordSize) {
  if (text.size() + 1 >= dstSize || text.empty() || text.front() == ' ' || text.back() == ' ') {
    return false;
  }
  std::size_t word = 0;
  for (const char c : text) {
    if (c == ' ') {
      if (word == 0) return false;  // two spaces in a row
      word = 0;
    } else if (c == '\0' || (c >= '\t' && c <= '\r') || ++word >= wordSize) {
      return false;
    }
  }
  return true;
}

std::string Collapsed(std::size_t dstSize, std::string text, std::size_t wordSize) {
  if (CollapsedAlready(text, dstSize, wordSize)) return text;
  return CollapseSpaces(dstSize, text, wordSize);
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
    scratch.preview = Collapsed(kMaxEntryPreview + 1, PlainText(value, kPageTokenMax), kWordSize);
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
  // Kept between entries, so a page's thousands of steps do not allocate each value anew.
  thread_local std::string name;
  thread_local std::string value;
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
  // Without entities and tags there is nothing to decode or strip.
  if (html.find_first_of("&<") == std::string_view::npos) {
    return std::string(html.substr(0, std::min({html.size(), max, kPageTokenMax})));
  }
  const std::string decoded = DecodeHtmlEntities(html, kPageTokenMax);
  const std::string_view text = decoded;
  std::string out;
  out.reserve(std::min(decoded.size(), max));
  std::size_t i = 0;
  while (i < text.size() && out.size() < max) {
    // The text up to the next tag goes in one piece; a '<' that no '>' closes is text.
    std::size_t open = text.find('<', i);
    const std::size_t close = open == std::string_view::npos ? open : text.find('>', open + 1);
    if (close == std::string_view::npos) open = text.size();
    out.append(text.substr(i, std::min(open - i, max - out.size())));
    i = close == std::string_view::npos ? text.size() : close + 1;
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
    scratch.name = Collapsed(kDirectedNameMax + 1, std::move(scratch.name), kWordSize);
  }
  // A rewrite can leave nothing (euf on a link without that parameter): no address, no result.
  if (scratch.url.empty()) return kEntryRefused;
  return kEntryFound;
}

}  // namespace sondrel
