#include "net/url_encoding.h"

#include "net/url.h"
#include "support/text.h"

namespace sondrel {
namespace {

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(unsigned char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// The character an entity name stands for; 0 for an unknown entity.
char EntityChar(std::string_view name) {
  if (name == "quot") return '"';
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "nbsp") return ' ';
  if (name.size() > 1 && name[0] == '#') {
    int value = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
      if (!IsAsciiDigit(static_cast<unsigned char>(name[i]))) return 0;
      value = value * 10 + (name[i] - '0');
    }
    if (value == 9 || value == 10 || value == 13 || value == 32) return static_cast<char>(value);
  }
  return 0;
}

}  // namespace

std::size_t DecodeHtmlEntities(std::string& out, std::size_t outMax, std::string_view text) {
  out.clear();
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && out.size() < outMax) {
    // Copy the run up to the next '&' in one piece.
    std::size_t amp = text.find('&', i);
    std::size_t runEnd = amp == std::string_view::npos ? n : amp;
    if (runEnd > i) {
      std::size_t take = std::min(runEnd - i, outMax - out.size());
      out.append(text.substr(i, take));
      i += take;
      continue;
    }
    if (i + 1 >= n) {  // a final '&' is copied
      out.push_back('&');
      break;
    }
    unsigned char c = static_cast<unsigned char>(text[i + 1]);
    if (IsAsciiLetter(c) || c == '#') {
      std::size_t j = i + 1;
      while (j < n && text[j] != ';' && j - (i + 1) < kEntityNameMax) ++j;
      if (j < n && text[j] == ';') {
        char decoded = EntityChar(text.substr(i + 1, j - (i + 1)));
        if (decoded) out.push_back(decoded);
        i = j + 1;
        continue;
      }
    }
    if (out.size() + 2 <= outMax) {
      out.push_back('&');
      out.push_back(static_cast<char>(c));
    }
    i += 2;
  }
  return out.size();
}

std::string DecodeHtmlEntities(std::string_view text, std::size_t outMax) {
  std::string out;
  DecodeHtmlEntities(out, outMax, text);
  return out;
}

void FormEncodeAppend(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out.push_back('+');
    } else if (IsAlnum(c) || c == '.' || c == '@') {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
}

std::string FormEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  FormEncodeAppend(out, text);
  return out;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
    if (low >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void UrlDecode(std::string& text) {
  std::size_t w = 0;
  const std::size_t n = text.size();
  for (std::size_t r = 0; r < n;) {
    char c = text[r];
    if (c == '+') {
      text[w++] = ' ';
      ++r;
    } else if (c == '%' && r + 2 < n) {
      int hi = HexDigitValue(text[r + 1]);
      int lo = HexDigitValue(text[r + 2]);
      if (hi >= 0 && lo >= 0) {
        text[w++] = static_cast<char>(hi * 16 + lo);
        r += 3;
      } else {
        text[w++] = c;
        ++r;
      }
    } else {
      text[w++] = c;
      ++r;
    }
  }
  text.resize(w);
}

int QueryParam(std::string& value, std::size_t valueMax, std::string_view name,
               std::string_view url) {
  value.clear();
  UrlParts parts;
  SplitUrl(url, parts);
  std::string_view query = parts.query;
  std::size_t pos = 0;
  std::string pairName;
  while (pos < query.size()) {
    std::size_t amp = query.find('&', pos);
    std::size_t pairEnd = amp == std::string_view::npos ? query.size() : amp;
    std::string_view pair = query.substr(pos, pairEnd - pos);
    pos = pairEnd + 1;
    std::size_t eq = pair.find('=');
    pairName.assign(pair.substr(0, std::min(eq, kQueryParamNameMax)));
    UrlDecode(pairName);
    if (!EqualsNoCase(pairName, name)) continue;
    if (eq != std::string_view::npos) {
      value.assign(pair.substr(eq + 1, valueMax));
      UrlDecode(value);
    }
    return 1;
  }
  return 0;
}

bool IsUrlChar(unsigned char c) {
  if (IsAlnum(c)) return true;
  switch (c) {
    case ';': case '/': case '?': case ':': case '@': case '=': case '&':  // reserved
    case '$': case '-': case '_': case '.': case '+': case '!': case '*':  // extra
    case '\'': case '(': case ')': case ',':
    case '%':
      return true;
    default:
      return false;
  }
}

bool IsUrlEndChar(unsigned char c) {
  if (IsAlnum(c)) return true;
  switch (c) {
    case ';': case '/': case '?': case ':': case '@': case '=': case '&':
    case '%':
      return true;
    default:
      return false;
  }
}

char FindHttpUrl(std::string& out, std::size_t outMax, std::string_view text) {
  out.clear();
  if (outMax == 0) return 0;
  std::size_t start = text.find("http://");
  if (start == std::string_view::npos) return 0;
  std::size_t end = start;
  while (end < text.size() && end - start < outMax - 1) {
    unsigned char c = static_cast<unsigned char>(text[end]);
    if (!IsUrlChar(c) && c != '~') break;
    ++end;
  }
  while (end > start && !IsUrlEndChar(static_cast<unsigned char>(text[end - 1]))) --end;
  out.assign(text.substr(start, end - start));
  return out.empty() ? 0 : out.front();
}

}  // namespace sondrel
