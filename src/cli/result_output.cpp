#include "cli/result_output.h"

#include <iostream>

#include "cli/cli_texts.h"
#include "engines/search_report.h"
#include "net/net_failure.h"
#include "results/result_entry.h"
#include "results/search_document.h"

namespace sondrel::cli {

std::string EscapeTsvField(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\t':
        out += "\\t";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

void PrintResultLine(const ResultEntry& entry) {
  const EntryRow row = MakeEntryRow(entry);
  std::cout << EscapeTsvField(row.name) << '\t' << EscapeTsvField(row.url) << '\t'
            << EscapeTsvField(row.size) << '\t' << EscapeTsvField(row.status) << '\t' << row.pos
            << '\t' << EscapeTsvField(row.engine) << '\n';
}

void PrintResultList(const SearchDocument& document) {
  std::cout << cli_texts::kResultHeader << '\n';
  for (const auto& entry : document.entries) PrintResultLine(*entry);
}

std::string_view StatusWord(std::uint8_t status) {
  switch (status) {
    case kStatusValid:
      return "valid";
    case kStatusInvalid:
      return "invalid";
    case kStatusUnknown:
      return "unknown";
    case kStatusNotVerified:
      return "not-verified";
    default:
      return "checked";  // as the list shows every other code
  }
}

void WriteEntriesJson(JsonWriter& json, const SearchDocument& document) {
  json.Key("entries").BeginArray();
  for (const auto& entry : document.entries) {
    json.BeginObject();
    json.Key("name").String(DisplayName(*entry));
    json.Key("url").String(entry->url);
    json.Key("size");
    if (entry->size < 0) {
      json.Null();
    } else {
      json.Number(entry->size);
    }
    json.Key("status").String(StatusWord(entry->status));
    json.Key("pos").Number(static_cast<int>(entry->position) + 1);
    json.Key("engine").String(entry->engine);
    json.EndObject();
  }
  json.EndArray();
}

void WriteReportJson(JsonWriter& json, const SearchReport& report) {
  json.Key("report").BeginObject();
  json.Key("engines").BeginArray();
  for (const EngineReport& engine : report.engines) {
    json.BeginObject();
    json.Key("engine").String(engine.engine);
    json.Key("outcome").String(OutcomeWord(engine.outcome));
    json.Key("reason");
    if (engine.failure) {
      json.String(FailureWord(engine.failure.kind));
      json.Key("message").String(DescribeFailure(engine.failure));
    } else {
      json.Null();
    }
    json.Key("httpStatus").Number(engine.httpStatus);
    json.Key("pages").Number(engine.pages);
    json.Key("bytes").Number(engine.bytes);
    json.Key("matched").Number(engine.matched);
    json.Key("refusedByRules").Number(engine.refusedByRules);
    json.Key("duplicates").Number(engine.duplicates);
    json.Key("kept").Number(engine.kept);
    json.EndObject();
  }
  json.EndArray();
  json.Key("failed").Number(report.FailedCount());
  json.Key("nothingAnswered").Bool(report.NothingAnswered());
  json.EndObject();
}

std::string ReportText(const SearchReport& report) {
  std::string text;
  for (const EngineReport& engine : report.engines) {
    text += EscapeTsvField(engine.engine) + ": " + std::string(OutcomeWord(engine.outcome));
    if (engine.failure) text += " (" + EscapeTsvField(DescribeFailure(engine.failure)) + ")";
    text += ", " + std::to_string(engine.pages) + " pages, " + std::to_string(engine.bytes) +
            " bytes, " + std::to_string(engine.matched) + " matched, " +
            std::to_string(engine.refusedByRules) + " refused by rules, " +
            std::to_string(engine.duplicates) + " duplicates, " + std::to_string(engine.kept) +
            " kept";
    if (engine.httpStatus != 0) text += ", HTTP " + std::to_string(engine.httpStatus);
    text += '\n';
  }
  const int failed = report.FailedCount();
  if (failed > 0) {
    text += std::to_string(failed) + (failed == 1 ? " engine failed\n" : " engines failed\n");
  }
  return text;
}

}  // namespace sondrel::cli
