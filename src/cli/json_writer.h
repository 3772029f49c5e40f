#pragma once
// A JSON document written value by value, for the --json output of the commands.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The name of the next member of the open object.
  JsonWriter& Key(std::string_view name);
  // Text from pages and files need not be UTF-8: a byte that does not start a valid sequence
  // becomes U+FFFD, so the document always parses.
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The document, ended with a line feed.
  std::string Document() const { return text_ + '\n'; }

 private:
  void BeforeValue();

  std::string text_;
  std::vector<bool> first_;  // per open object or array: whether nothing was written in it yet
  bool afterKey_ = false;
};

// text as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view text);

}  // namespace sondrel::cli
