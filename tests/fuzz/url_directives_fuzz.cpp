// URL directives: the input is a directive list and an address separated by the first newline.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engines/url_directives.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string_view directives = input.substr(0, newline);
  std::string_view url = newline == std::string_view::npos ? "" : input.substr(newline + 1);
  std::string out;
  (void)sondrel::ApplyUrlDirectives(out, url, directives);
  if (out.size() > sondrel::kRewrittenUrlMax) std::abort();
  return 0;
}
