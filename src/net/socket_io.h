#pragma once
// Blocking TCP over non-blocking sockets. Every wait loops in short poll slices and, in each
// iteration, calls the idle hook, asks shouldCancel and tests the timeout, so a worker can be
// stopped at any moment and a silent peer costs no CPU.

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/net_progress.h"

namespace sondrel {

constexpr int kNoSocket = -1;
// Fixed socket buffers disable the kernel's window scaling and cap a download at a few
// windows per round trip; 0 leaves the sizes to the kernel.
constexpr int kSocketBufferSize = 0;
constexpr std::size_t kRecvBlock = 4096;
constexpr std::size_t kSendBlock = 512;
// Longest single poll of a wait; bounds how late a cancel or a timeout is noticed.
constexpr int kPollSliceMs = 20;

// One poll of the socket: 1 ready, 0 not yet, -1 error.
int PollReadable(int s, int timeoutMs = 0);
int PollWritable(int s, int timeoutMs = 0);

// A null progress means no timeout and no cancellation. The timeout counts from each call.
// One recv: bytes, 0 when the peer closed, -1 on error, timeout or cancellation.
[[nodiscard]] long RecvWait(int s, char* buf, std::size_t len, int flags, NetProgress* progress);
// One send: bytes sent, -1 on error, timeout or cancellation.
[[nodiscard]] long SendWait(int s, const char* buf, std::size_t len, int flags,
                            NetProgress* progress);
// The accepted socket, -1 on error, timeout or cancellation.
[[nodiscard]] int AcceptWait(int listener, sockaddr* addr, socklen_t* addrLen,
                             NetProgress* progress);
// 1 connected, -1 refused, error or timeout, 0 cancelled.
[[nodiscard]] int ConnectWait(int s, const sockaddr* addr, socklen_t addrLen,
                              NetProgress* progress);
// Bytes received (fewer than total when the peer closed early), -1 on failure or cancel.
[[nodiscard]] long RecvAll(int s, char* buf, long total, long block, NetProgress* progress);
// total, or -1 on failure or cancel.
[[nodiscard]] long SendAll(int s, const char* buf, long total, long block, NetProgress* progress);

// The length of a complete unit at the start of buf, or <= 0 when there is none yet.
using FindEndFn = long (*)(const char* buf, std::size_t n, void* arg);
// Reads exactly one unit (a reply line, a header block) and nothing after it, peeking first.
// 1 with out holding the unit; 0 when the peer closed, on error, cancel or timeout, or when
// size - 1 bytes hold no complete unit; out then holds what arrived. The timeout counts from
// the call: the unit must arrive whole within it, so a peer cannot trickle it out for ever.
[[nodiscard]] int RecvUntil(int s, std::string& out, std::size_t size, FindEndFn findEnd, void* arg,
                            NetProgress* progress);

// No debug, routing or address reuse, buffers of kSocketBufferSize unless that is 0; with full
// also no keep-alive and a resetting close. True when every option was accepted.
bool SetSocketOptions(int s, bool full);

// IPv4 address in network order, or kNoAddress. Dotted numbers are never looked up or cached.
[[nodiscard]] std::uint32_t ResolveHost(std::string_view host, NetProgress* progress);
// A connected non-blocking socket, or -1; a failed or cancelled connect leaves nothing open.
[[nodiscard]] int ConnectAddress(std::uint32_t address, int port, NetProgress* progress);
// Resolves, then tries up to attempts connects.
[[nodiscard]] int ConnectHost(std::string_view host, int port, NetProgress* progress);
void CloseConnection(int s, NetProgress* progress);

// Creates the shared state (host cache) when missing; NetShutdown releases it and empties the
// cookie store.
void NetStartup();
void NetShutdown();

}  // namespace sondrel
