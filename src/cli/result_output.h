#pragma once
// The result list and the search report as the commands print them: tab-separated lines under
// a header for people and simple scripts, or members of a JSON document.

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json_writer.h"

namespace sondrel {
struct ResultEntry;
struct SearchDocument;
struct SearchReport;
}  // namespace sondrel

namespace sondrel::cli {

// A field of a TSV line: tab, line feed, carriage return and backslash as \t \n \r \\, other
// control bytes as \xHH, so that every entry stays on one line of six fields.
std::string EscapeTsvField(std::string_view text);
// One entry's line on stdout: Name, URL, Size, Status, Pos, Engine as the list shows them.
void PrintResultLine(const ResultEntry& entry);
// The header line and one line per entry, on stdout.
void PrintResultList(const SearchDocument& document);

// "valid", "checked", "unknown", "invalid", "not-verified".
std::string_view StatusWord(std::uint8_t status);
// "entries": [...] with sizes in bytes (null when unknown) and statuses as words.
void WriteEntriesJson(JsonWriter& json, const SearchDocument& document);
// "report": {"engines": [...], "failed": N, "nothingAnswered": B}
void WriteReportJson(JsonWriter& json, const SearchReport& report);

// The report for stderr: one line per engine with its outcome, reason and counts.
std::string ReportText(const SearchReport& report);

}  // namespace sondrel::cli
