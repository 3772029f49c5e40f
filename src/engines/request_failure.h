#pragma once
// Why an engine's request brought no page, as the search report tells it: an error status
// (a 429 or 503 with Retry-After asks us to come back later), or what the connection recorded.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/net_failure.h"
#include "net/net_progress.h"

namespace sondrel {

// The host of an address, without user information and port.
std::string HostOf(std::string_view url);

// The failure an error status means. A 429 is rate limited; so is a 503 with a readable
// Retry-After. retryAfter becomes the Unix time Retry-After names (0 when it names none).
NetFailure StatusFailure(std::string_view header, int status, std::string_view url,
                         std::int64_t now, std::int64_t& retryAfter);

// The failure the connection recorded; without one, the best guess from how far it got: a
// lookup that never ended, a connection never made, a wait past the timeout (counted from
// startedSeconds, NowSeconds; 0 when unknown).
NetFailure ConnectionFailure(const NetProgress& progress, std::string_view url,
                             FailureKind fallback, std::uint64_t startedSeconds = 0);

}  // namespace sondrel
