#pragma once
// The whole result list as an HTML page, a plain-text listing or comma-delimited text.

#include <cstddef>
#include <string>
#include <string_view>

#include "results/search_document.h"

namespace sondrel {

inline constexpr std::size_t kMaxExportText = 10000;  // a decoded preview or a CDF name

enum class ExportFormat { kHtml, kText, kCdf };

// The file contents of each layout.
std::string HtmlExportOf(const SearchDocument& document);
std::string TextExportOf(const SearchDocument& document);
std::string CdfExportOf(const SearchDocument& document);

// Each writes the file in one piece; false (and nothing written) when it cannot be created.
[[nodiscard]] bool ExportHtml(const std::string& path, const SearchDocument& document);
[[nodiscard]] bool ExportText(const std::string& path, const SearchDocument& document);
[[nodiscard]] bool ExportCdf(const std::string& path, const SearchDocument& document);

// ".htm", ".txt", ".cdf".
std::string_view ExportExtension(ExportFormat format);
// The export's path beside the project; empty when there is no project path.
std::string ExportPath(std::string_view projectPath, ExportFormat format);
[[nodiscard]] bool ExportDocument(const std::string& path, const SearchDocument& document,
                                  ExportFormat format);

// The messages after a text or CDF export.
std::string ExportDoneText(std::string_view path);
std::string ExportFailedText(std::string_view path);

}  // namespace sondrel
