#pragma once
// Reading a response header, and deciding after each one whether the fetch succeeded, failed
// or must be sent again (with credentials, or to a redirect target).

#include <cstddef>
#include <string>
#include <string_view>

#include "net/http_request.h"
#include "net/net_progress.h"

namespace sondrel {

constexpr std::size_t kHeaderNameMax = 255;
constexpr std::size_t kHeaderValueMax = 4095;
constexpr std::size_t kLocationMax = 1998;
constexpr std::size_t kContentLengthMax = 117;  // characters of a Content-Length value read

// Length of the header including its blank line, or 0 when it is not complete yet.
std::size_t HeaderEnd(const char* bytes, std::size_t count);
// The status code of the first line; 0 when there is no number after the first word.
int StatusCode(std::string_view header);
// The value of the first field of that name (any case); of a folded value the last line.
// out receives at most outSize - 2 characters. True when found.
[[nodiscard]] bool FindHeader(std::string& out, std::size_t outSize, std::string_view name,
                              std::string_view header);
// The next field from cursor (0 at the start: the status line is skipped first); folded lines
// are joined. False when there are no more fields.
[[nodiscard]] bool NextHeaderField(std::string& name, std::string& value, std::size_t valueSize,
                                   std::string_view header, std::size_t& cursor);

// The first line ("HTTP/1.1 404 Not Found"), and its reason phrase ("Not Found") with any
// control byte turned into a space.
std::string StatusLine(std::string_view header);
std::string ReasonPhrase(std::string_view header);

enum EvaluateResult { kEvaluateFailed = 0, kEvaluateDone = 1, kEvaluateAgain = 3 };

// Called once per response header. Updates the request (contentType, notHtml, resume,
// workUrl, method) and progress (transferred, total); on kEvaluateAgain the state holds the
// new request text and far end.
[[nodiscard]] int EvaluateResponse(HttpFetchState& state, HttpRequest& request,
                                   std::string_view header, NetProgress& progress);

}  // namespace sondrel
