#include "engines/url_building.h"

#include "engines/template_step.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string Encode(std::string_view text, bool keepPath) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool escape =
        c == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]);
    if (IsUnreserved(c) || (keepPath && (c == '/' || escape))) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

// Pieces of a template are never longer than the template itself.
constexpr std::size_t kPieceSlack = 1;

}  // namespace

const std::string* FindCaptured(const CapturedValues& values, std::string_view name) {
  for (const auto& [key, value] : values) {
    if (EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
}

std::string EncodePathSegment(std::string_view text) { return Encode(text, false); }

std::string EncodePath(std::string_view text) { return Encode(text, true); }

std::string FillTemplate(std::string_view templ, const PlaceholderLookup& lookup, std::size_t max,
                         bool* missing) {
  if (missing) *missing = false;
  std::string out;
  std::string piece;
  std::size_t pos = 0;
  for (;;) {
    const int kind = SplitTemplate(templ, pos, piece, templ.size() + kPieceSlack, kTemplateMarker);
    if (kind == TemplateEnd) break;
    if (kind == TemplateLiteral) {
      out += piece;
    } else if (std::optional<std::string> value = lookup(piece)) {
      out += *value;
    } else if (missing) {
      *missing = true;
    }
    if (out.size() > max) break;
  }
  if (out.size() > max) out.resize(max);
  return out;
}

}  // namespace sondrel
