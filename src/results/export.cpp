#include "results/export.h"

#include "net/url_encoding.h"
#include "results/results_texts.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

// Names and previews are page text with the tags already taken out; written raw, a "<" in
// them would become markup in the exported page.
void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
        break;
    }
  }
}

std::string QuotesToApostrophes(std::string text) {
  for (char& c : text) {
    if (c == '"') c = '\'';
  }
  return text;
}

// A quote inside a quoted field is written twice, the comma-delimited way, so that the field
// reads back whole: a URL must not change, so it cannot lose its quote as a name does.
std::string DoubledQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out;
}

bool WriteExport(const std::string& path, const std::string& contents) {
  return FileReplaceAll(path, contents) == 1;
}

}  // namespace

std::string HtmlExportOf(const SearchDocument& document) {
  std::string out(texts::kHtmlBegin);
  for (const auto& entry : document.entries) {
    const std::string_view preview = entry->preview;
    const bool separator = !preview.empty() && preview.front() != ' ';
    out += "<A HREF=\"";
    AppendHtmlEscaped(out, entry->url);
    out += "\">";
    AppendHtmlEscaped(out, entry->name);
    out += "</A>";
    if (separator) out += ' ';
    AppendHtmlEscaped(out, preview);
    out += texts::kHtmlEntryEnd;
  }
  out += texts::kHtmlEnd;
  return out;
}

std::string TextExportOf(const SearchDocument& document) {
  std::string out;
  for (const auto& entry : document.entries) {
    const std::string description = Trimmed(DecodeHtmlEntities(entry->preview, kMaxExportText));
    out.append("URL: ").append(entry->url).append("\n");
    out.append("Name: ").append(entry->name).append("\n");
    out.append("Description: ").append(description).append("\n\n");
  }
  return out;
}

std::string CdfExportOf(const SearchDocument& document) {
  std::string out;
  for (const auto& entry : document.entries) {
    out += '"';
    out += QuotesToApostrophes(StrCopyN(entry->name, kMaxExportText + 1));
    out += "\",\"";
    out += DoubledQuotes(entry->url);
    out += "\",\"";
    out += std::to_string(entry->position);
    out += "\",\"";
    out += DoubledQuotes(entry->engine);
    out += "\",\"";
    out += QuotesToApostrophes(DecodeHtmlEntities(entry->preview, kMaxExportText));
    out += "\"\n";
  }
  return out;
}

bool ExportHtml(const std::string& path, const SearchDocument& document) {
  return WriteExport(path, HtmlExportOf(document));
}

bool ExportText(const std::string& path, const SearchDocument& document) {
  return WriteExport(path, TextExportOf(document));
}

bool ExportCdf(const std::string& path, const SearchDocument& document) {
  return WriteExport(path, CdfExportOf(document));
}

std::string_view ExportExtension(ExportFormat format) {
  switch (format) {
    case ExportFormat::kHtml:
      return texts::kExportHtmlExt;
    case ExportFormat::kText:
      return texts::kExportTextExt;
    case ExportFormat::kCdf:
      return texts::kExportCdfExt;
  }
  return texts::kExportTextExt;
}

std::string ExportPath(std::string_view projectPath, ExportFormat format) {
  if (projectPath.empty()) return {};
  return PathChangeExt(projectPath, ExportExtension(format));
}

bool ExportDocument(const std::string& path, const SearchDocument& document, ExportFormat format) {
  switch (format) {
    case ExportFormat::kHtml:
      return ExportHtml(path, document);
    case ExportFormat::kText:
      return ExportText(path, document);
    case ExportFormat::kCdf:
      return ExportCdf(path, document);
  }
  return false;
}

std::string ExportDoneText(std::string_view path) {
  return std::string(texts::kExportDone).append(path);
}

std::string ExportFailedText(std::string_view path) {
  return std::string(texts::kExportFailed).append(path);
}

}  // namespace sondrel
