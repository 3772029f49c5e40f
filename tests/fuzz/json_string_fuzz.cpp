// JSON string decoding: any bytes decode without a crash, the output is never much longer
// than the input, and a valid UTF-8 input with no backslash comes back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engines/json_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const std::string text = sondrel::DecodeJsonString(body);
  // The worst case is one U+FFFD (3 bytes) per two input bytes ("\q"), or a lone "\".
  if (text.size() > 2 * size + 3) std::abort();
  if (body.find('\\') == std::string_view::npos && text != body) std::abort();
  for (std::size_t max : {std::size_t{0}, size / 2, size}) {
    if (sondrel::CutUtf8(text, max).size() > max) std::abort();
  }
  return 0;
}
