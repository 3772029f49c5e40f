// The HTML tokenizer walking arbitrary bytes, with attribute lookups on every tag.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/html_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view buffer(reinterpret_cast<const char*>(data), size);
  std::size_t cursor = 0;
  std::string_view out;
  for (;;) {
    std::size_t before = cursor;
    int kind = sondrel::NextHtmlToken(buffer, cursor, out, 64);
    if (kind == sondrel::HtmlEnd) break;
    // Every call moves forward and stays inside the buffer.
    if (cursor <= before || cursor > size || out.size() > 64) std::abort();
    if (kind == sondrel::HtmlTag || kind == sondrel::HtmlOpenTag) {
      std::string_view value;
      (void)sondrel::FindTagAttribute(value, 1023, "href", out, true);
      std::size_t attrCursor = 0;
      std::string_view name;
      int guard = 0;
      while (sondrel::NextAttribute(name, value, 99, out, attrCursor)) {
        if (++guard > 10000) std::abort();
      }
      attrCursor = 0;
      while (sondrel::NextPlainToken(value, 50, out, attrCursor, "=;,", " \t")) {
        if (++guard > 20000) std::abort();
      }
    }
  }
  return 0;
}
