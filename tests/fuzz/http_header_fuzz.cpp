// Response headers are hostile input: every reader and the evaluation must cope with any bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_response.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sondrel;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t end = HeaderEnd(bytes.data(), bytes.size());
  std::string_view header = end > 0 ? bytes.substr(0, end) : bytes;
  (void)StatusCode(header);
  std::string name;
  std::string value;
  std::size_t cursor = 0;
  int fields = 0;
  while (NextHeaderField(name, value, 1024, header, cursor)) {
    if (++fields > 100000) __builtin_trap();  // the walk must always advance
  }
  (void)FindHeader(value, 20, "Content-Type", header);
  // The same header for a plain fetch, a resumed one through a proxy, and a POST with
  // credentials, each evaluated a few times over as a redirect chain would.
  for (int variant = 0; variant < 3; ++variant) {
    HttpRequest request;
    request.url = "http://h.example/dir/page?x=1";
    request.resume = variant == 1;
    request.resumeOffset = 100;
    request.useProxy = variant == 1;
    request.proxyHost = "proxy";
    request.proxyPort = 8080;
    if (variant == 2) {
      request.method = kHttpPost;
      request.postBody = "a=1";
      request.user = "u";
      request.password = "p";
    }
    HttpFetchState state;
    PrepareHttpFetch(request, state);
    NetProgress progress;
    for (int round = 0; round < 3; ++round) {
      if (EvaluateResponse(state, request, header, progress) != kEvaluateAgain) break;
      // Whatever the Location named, the next request goes to http or https.
      if (!IsHttpUrl(request.workUrl)) __builtin_trap();
      if (request.workUrl.size() > kWorkUrlMax) __builtin_trap();
      if (state.requestText.size() > kRequestTextMax + 100) __builtin_trap();
      // Whatever the Location said, the next request holds no control byte but its line ends.
      const std::string& text = state.requestText;
      for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool lineEnd = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                       (c == '\n' && i > 0 && text[i - 1] == '\r');
        if ((c < 0x20 || c == 0x7F) && !lineEnd) __builtin_trap();
      }
    }
    if (request.contentType.size() > kContentTypeMax) __builtin_trap();
  }
  return 0;
}
