#pragma once
// How sondrel-cli words a failed fetch or download and which exit status it gives.

#include <string>
#include <string_view>

#include "net/net_failure.h"

namespace sondrel::cli {

// 3 when nothing answered (name not found, refused, timed out, no response), 4 for an HTTP
// or FTP error reply, 130 when cancelled, 1 otherwise.
int ExitStatusFor(const NetFailure& failure);
// The host of url ("archive.org" of "http://user@archive.org:8080/x"); url itself when it
// has none.
std::string HostOfUrl(std::string_view url);
// A failure the network layer did not name, from what arrived: the reply header's status line
// when there is one, else no response.
NetFailure FailureFromReply(std::string_view url, std::string_view header);
// Prints DescribeFailure on stderr; returns ExitStatusFor.
int FailNet(const NetFailure& failure);

}  // namespace sondrel::cli
