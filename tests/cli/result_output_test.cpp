#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

// The reverse of the TSV escaping: what a script reading the list would do.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char next = field[++i];
    if (next == 't')
      out += '\t';
    else if (next == 'n')
      out += '\n';
    else if (next == 'r')
      out += '\r';
    else if (next == '\\')
      out += '\\';
    else if (next == 'x' && i + 2 < field.size()) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += '\\';
      out += next;
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.emplace_back();
  return fields;
}

// The lines of a text that ends with a line feed.
std::vector<std::string> Lines(const std::string& text) {
  return Split(text.ends_with('\n') ? text.substr(0, text.size() - 1) : text, '\n');
}

class ResultOutputTest : public ::testing::Test {
 protected:
  testkit::CommandResult Cli(const std::string& words) {
    return RunCommand(ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(home_.path()) + " " +
                      words);
  }
  std::string Project() const { return home_.File("odd.sdp"); }

  // Names that break a naive tab-separated line, and one that is not UTF-8.
  const std::vector<std::string> names_ = {"tab\there",  "line\nfeed",      "back\\slash\\t",
                                           "cr\rbell\a", "quote \"q\" </>", "Bj\xc3\xb6rk \xff"};
  testkit::TempDir home_;
};

TEST_F(ResultOutputTest, TsvRoundTripsEveryName) {
  for (const std::string& name : names_) {
    ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " http://h/a.mp3 " + ShellQuote(name)).status,
              0);
  }
  const testkit::CommandResult shown = Cli("show " + ShellQuote(Project()));
  ASSERT_EQ(shown.status, 0) << shown.err;
  const std::string list = shown.out.substr(shown.out.find("\n\n") + 2);
  std::vector<std::string> lines = Lines(list);
  ASSERT_EQ(lines.size(), names_.size() + 1) << list;
  EXPECT_EQ(lines[0], "Name\tURL\tSize\tStatus\tPos\tEngine");
  for (std::size_t i = 0; i < names_.size(); ++i) {
    SCOPED_TRACE(names_[i]);
    const std::vector<std::string> fields = Split(lines[i + 1], '\t');
    ASSERT_EQ(fields.size(), 6u) << lines[i + 1];
    EXPECT_EQ(Unescape(fields[0]), names_[i]);
    for (const char c : lines[i + 1]) EXPECT_FALSE(c == '\r' || c == '\a') << lines[i + 1];
  }
}

// Key=value output escapes the same way: a value cannot add a line or rewrite the terminal.
TEST_F(ResultOutputTest, SettingValuesStayOnTheirLine) {
  ASSERT_EQ(Cli("config lastProject " + ShellQuote("a\rb\nc\x1b[2J")).status, 0);
  const testkit::CommandResult one = Cli("config lastProject");
  EXPECT_EQ(one.out, "lastProject=a\\rb\\nc\\x1b[2J\n");
  const testkit::CommandResult all = Cli("config");
  for (const char c : all.out) EXPECT_FALSE(c == '\r' || c == '\x1b');
}

TEST_F(ResultOutputTest, JsonParsesWithSizesInBytesAndStatusWords) {
  for (const std::string& name : names_) {
    ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " http://h/a.mp3 " + ShellQuote(name)).status,
              0);
  }
  const testkit::CommandResult shown = Cli("show --json " + ShellQuote(Project()));
  ASSERT_EQ(shown.status, 0) << shown.err;
  home_.Write("doc.json", shown.out);
  // A real parser reads the document; it prints each name's UTF-8 bytes in hex.
  const testkit::CommandResult parsed = RunCommand(
      "python3 -c 'import json,sys; d=json.load(open(sys.argv[1], encoding=\"utf-8\"));"
      "print(d[\"project\"]); "
      "[print(e[\"name\"].encode().hex(), e[\"size\"], e[\"status\"], e[\"pos\"]) "
      "for e in d[\"entries\"]]' " +
      ShellQuote(home_.File("doc.json")));
  ASSERT_EQ(parsed.status, 0) << shown.out;
  std::vector<std::string> lines = Lines(parsed.out);
  ASSERT_EQ(lines.size(), names_.size() + 1) << parsed.out;
  EXPECT_EQ(lines[0], Project());
  for (std::size_t i = 0; i < names_.size(); ++i) {
    SCOPED_TRACE(names_[i]);
    std::string expected = names_[i];
    // The byte that starts no UTF-8 sequence arrives as U+FFFD.
    if (const std::size_t bad = expected.find('\xff'); bad != std::string::npos) {
      expected.replace(bad, 1, "\xef\xbf\xbd");
    }
    std::string hex;
    static const char kHex[] = "0123456789abcdef";
    for (const unsigned char c : expected) {
      hex += kHex[c >> 4];
      hex += kHex[c & 0xF];
    }
    EXPECT_EQ(lines[i + 1], hex + " None not-verified 1");
  }
}

}  // namespace
}  // namespace sondrel
