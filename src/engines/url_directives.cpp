#include "engines/url_directives.h"

#include <algorithm>
#include <vector>

#include "engines/template_step.h"
#include "net/html_text.h"
#include "net/url.h"
#include "net/url_encoding.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

enum FilterGroup { GroupExtension = 0, GroupScheme = 1, GroupText = 2, GroupNone = -1 };

struct FilterKey {
  std::string_view key;
  FilterStage stage;
  FilterGroup group;
  bool negative;
};

constexpr FilterKey kFilterKeys[] = {
    {"bext", FilterBefore, GroupExtension, false}, {"e", FilterBefore, GroupExtension, false},
    {"bnext", FilterBefore, GroupExtension, true}, {"ne", FilterBefore, GroupExtension, true},
    {"bsch", FilterBefore, GroupScheme, false},    {"s", FilterBefore, GroupScheme, false},
    {"bnsch", FilterBefore, GroupScheme, true},    {"ns", FilterBefore, GroupScheme, true},
    {"bstr", FilterBefore, GroupText, false},      {"bnstr", FilterBefore, GroupText, true},
    {"fext", FilterAfter, GroupExtension, false},  {"fnext", FilterAfter, GroupExtension, true},
    {"fsch", FilterAfter, GroupScheme, false},     {"fnsch", FilterAfter, GroupScheme, true},
    {"fstr", FilterAfter, GroupText, false},       {"u", FilterAfter, GroupText, false},
    {"fnstr", FilterAfter, GroupText, true},       {"nu", FilterAfter, GroupText, true},
};

const FilterKey* FindFilterKey(std::string_view key, FilterStage stage) {
  for (const FilterKey& entry : kFilterKeys) {
    if (entry.stage == stage && EqualsNoCase(entry.key, key)) return &entry;
  }
  return nullptr;
}

constexpr std::size_t kSubstitutionPieceSize = 2000;

struct Variable {
  std::string name;  // "__D__"
  std::string value;
};

std::string Substitute(std::string_view pattern, const std::vector<Variable>& variables) {
  std::string out;
  std::string piece;
  std::size_t pos = 0;
  for (;;) {
    int kind = SplitTemplate(pattern, pos, piece, kSubstitutionPieceSize, kTemplateMarker);
    if (kind == TemplateEnd) break;
    if (kind == TemplateLiteral) {
      StrAppendN(out, piece, kRewrittenUrlMax + 1);
      continue;
    }
    for (const Variable& variable : variables) {
      if (EqualsNoCase(variable.name, piece)) {
        StrAppendN(out, variable.value, kRewrittenUrlMax + 1);
        break;
      }
    }
  }
  return out;
}

std::string CutTo(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, std::min(text.size(), max)));
}

// What a directive list holds besides the filters of the stage being run, so that a list of
// filters alone ("e=mp3") is walked once per link, not three times.
struct ListShape {
  bool rewrites = false;      // sfa, euf, params, cfuvars, path or pre
  bool afterFilters = false;  // a filter of the after stage
};

bool IsRewriteKey(std::string_view key) {
  static constexpr std::string_view kRewriteKeys[] = {"sfa", "euf", "params", "cfuvars", "path",
                                                      "pre"};
  for (std::string_view rewrite : kRewriteKeys) {
    if (EqualsNoCase(key, rewrite)) return true;
  }
  return false;
}

bool PassesStage(std::string_view url, std::string_view directives, FilterStage stage,
                 ListShape* shape) {
  bool used[3] = {false, false, false};
  bool satisfied[3] = {false, false, false};
  // Each part is taken from the URL only when a directive asks for it: every extracted link
  // passes here twice.
  std::string extension;
  std::string scheme;
  bool extensionKnown = false;
  bool schemeKnown = false;
  std::size_t cursor = 0;
  std::string_view key;
  std::string_view value;
  while (NextAttribute(key, value, kDirectiveTokenMax, directives, cursor)) {
    const FilterKey* filter = FindFilterKey(key, stage);
    if (shape && !filter) {
      shape->rewrites = shape->rewrites || IsRewriteKey(key);
      shape->afterFilters = shape->afterFilters || FindFilterKey(key, FilterAfter) != nullptr;
    }
    if (!filter) continue;
    if (filter->group == GroupExtension && !extensionKnown) {
      (void)UrlExtension(url, extension);
      extensionKnown = true;
    } else if (filter->group == GroupScheme && !schemeKnown) {
      UrlParts parts;
      SplitUrl(url, parts);
      scheme = parts.scheme;
      schemeKnown = true;
    }
    bool match = false;
    switch (filter->group) {
      case GroupExtension: match = EqualsNoCase(extension, value); break;
      case GroupScheme: match = EqualsNoCase(scheme, value); break;
      case GroupText: match = url.find(value) != std::string_view::npos; break;
      case GroupNone: break;
    }
    if (filter->negative) {
      if (match) return false;
      continue;
    }
    used[filter->group] = true;
    if (match) satisfied[filter->group] = true;
  }
  for (int group = 0; group < 3; ++group) {
    if (used[group] && !satisfied[group]) return false;
  }
  return true;
}

}  // namespace

bool PassesUrlFilters(std::string_view url, std::string_view directives, FilterStage stage) {
  return PassesStage(url, directives, stage, nullptr);
}

bool BuildsFromValue(std::string_view directives) {
  std::size_t cursor = 0;
  std::string_view key;
  std::string_view value;
  while (NextAttribute(key, value, kDirectiveTokenMax, directives, cursor)) {
    if (EqualsNoCase(key, "pre")) return true;
  }
  return false;
}

bool ApplyUrlDirectives(std::string& out, std::string_view url, std::string_view directives,
                        const CapturedValues* values) {
  out.clear();
  ListShape shape;
  if (!PassesStage(url, directives, FilterBefore, &shape)) return false;
  out = CutTo(url, kRewriteSourceMax);
  if (!shape.rewrites) {
    return !shape.afterFilters || PassesStage(out, directives, FilterAfter, nullptr);
  }
  std::size_t cursor = 0;
  std::string_view key;
  std::string_view value;
  std::string scratch;
  while (NextAttribute(key, value, kDirectiveTokenMax, directives, cursor)) {
    if (EqualsNoCase(key, "sfa")) {
      std::size_t at = url.find(value);
      if (at != std::string_view::npos) out = CutTo(url.substr(at + value.size()), kRewriteSourceMax);
    } else if (EqualsNoCase(key, "euf")) {
      out = QueryParam(scratch, kRewriteSourceMax, value, url) ? scratch
                                                                : CutTo(url, kRewriteSourceMax);
    } else if (EqualsNoCase(key, "params")) {
      UrlParts parts;
      SplitUrl(url, parts);
      if (!parts.params.empty() && FindHttpUrl(scratch, kRewrittenUrlMax + 1, parts.params)) {
        out = scratch;
      } else {
        out = CutTo(url, kRewriteSourceMax);
      }
    } else if (EqualsNoCase(key, "path")) {
      out = CutTo(EncodePath(out), kRewrittenUrlMax);
    } else if (EqualsNoCase(key, "pre")) {
      const PlaceholderLookup lookup = [values](std::string_view placeholder)
          -> std::optional<std::string> {
        const std::string_view name =
            placeholder.substr(kTemplateMarker.size(),
                               placeholder.size() - 2 * kTemplateMarker.size());
        const std::string* found = values ? FindCaptured(*values, name) : nullptr;
        if (!found) return std::nullopt;
        return EncodePathSegment(*found);
      };
      out = CutTo(FillTemplate(value, lookup, kRewrittenUrlMax) + out, kRewrittenUrlMax);
    } else if (EqualsNoCase(key, "cfuvars")) {
      std::vector<Variable> variables;
      std::size_t textPos = 0;
      std::size_t patternPos = 0;
      std::string name;
      std::string captured;
      while (TemplateStep(out, textPos, value, patternPos, name, captured, /*noTags=*/false)) {
        variables.push_back(
            {std::string(kTemplateMarker) + name + std::string(kTemplateMarker), captured});
      }
      if (variables.empty()) continue;
      // The substitution must follow at once; anything else there is dropped.
      std::string_view nextKey;
      std::string_view nextValue;
      if (NextAttribute(nextKey, nextValue, kDirectiveTokenMax, directives, cursor) &&
          EqualsNoCase(nextKey, "cfusubs")) {
        out = Substitute(nextValue, variables);
      }
    }
  }
  return PassesStage(out, directives, FilterAfter, nullptr);
}

}  // namespace sondrel
