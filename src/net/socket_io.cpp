#include "net/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/cookies.h"
#include "net/host_cache.h"
#include "net/tls_context.h"

namespace sondrel {
namespace {

std::atomic<HostCache*> g_hostCache{nullptr};

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

int PollOne(int s, short events, int timeoutMs) {
  pollfd p{s, events, 0};
  int r = ::poll(&p, 1, timeoutMs);
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  if (p.revents & POLLNVAL) return -1;
  return 1;  // ready, or an error the next call on the socket reports
}

// The start of one wait iteration: 0 go on, -1 timed out, -2 cancelled.
int IterationCheck(NetProgress* progress, std::uint64_t start) {
  if (IdleHook hook = CurrentIdleHook()) hook();
  if (CancelRequested(progress)) return -2;
  if (TimedOut(progress, start)) return -1;
  return 0;
}

// Name lookup on a helper thread, so the caller can give up on cancel or timeout while a slow
// resolver is still at work; the abandoned thread finishes on its own.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::uint32_t address = kNoAddress;
};

std::uint32_t LookupCancellable(std::string_view host, NetProgress* progress) {
  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, name = std::string(host)] {
      std::uint32_t address = ResolveHostAddress(name);
      std::lock_guard lock(pending->mutex);
      pending->address = address;
      pending->finished = true;
      pending->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return ResolveHostAddress(std::string(host));  // no thread to spare: wait in this one
  }
  std::uint64_t start = NowSeconds();
  std::unique_lock lock(pending->mutex);
  while (!pending->finished) {
    lock.unlock();
    if (IterationCheck(progress, start) != 0) return kNoAddress;
    lock.lock();
    pending->done.wait_for(lock, std::chrono::milliseconds(kPollSliceMs),
                           [&] { return pending->finished; });
  }
  return pending->address;
}

bool LooksNumeric(std::string_view host) {
  std::size_t dot = host.rfind('.');
  std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
  return last.empty() || !std::isalpha(static_cast<unsigned char>(last.front()));
}

}  // namespace

HostCache* SharedHostCache() {
  return g_hostCache.load();
}

int PollReadable(int s, int timeoutMs) {
  return PollOne(s, POLLIN, timeoutMs);
}
int PollWritable(int s, int timeoutMs) {
  return PollOne(s, POLLOUT, timeoutMs);
}

namespace {

// One recv that gives up once the timeout has passed since start.
long RecvWaitSince(int s, char* buf, std::size_t len, int flags, NetProgress* progress,
                   std::uint64_t start) {
  if (len == 0) return 0;
  for (;;) {
    if (IterationCheck(progress, start) != 0) return -1;
    // Try first: while data streams in, the poll would only cost a system call per block.
    ssize_t got = ::recv(s, buf, len, flags | MSG_DONTWAIT);
    if (got >= 0) return static_cast<long>(got);
    if (!WouldBlock(errno)) return -1;
    if (PollReadable(s, kPollSliceMs) < 0) return -1;
  }
}

}  // namespace

long RecvWait(int s, char* buf, std::size_t len, int flags, NetProgress* progress) {
  return RecvWaitSince(s, buf, len, flags, progress, NowSeconds());
}

long SendWait(int s, const char* buf, std::size_t len, int flags, NetProgress* progress) {
  if (len == 0) return 0;
  std::uint64_t start = NowSeconds();
  for (;;) {
    if (IterationCheck(progress, start) != 0) return -1;
    ssize_t sent = ::send(s, buf, len, flags | MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<long>(sent);
    if (!WouldBlock(errno)) return -1;
    if (PollWritable(s, kPollSliceMs) < 0) return -1;
  }
}

int AcceptWait(int listener, sockaddr* addr, socklen_t* addrLen, NetProgress* progress) {
  std::uint64_t start = NowSeconds();
  for (;;) {
    if (IterationCheck(progress, start) != 0) return -1;
    int r = PollReadable(listener, kPollSliceMs);
    if (r < 0) return -1;
    if (r == 0) continue;
    int s = ::accept4(listener, addr, addrLen, SOCK_CLOEXEC);
    if (s >= 0) return s;
    if (!WouldBlock(errno) && errno != ECONNABORTED) return -1;
  }
}

int ConnectWait(int s, const sockaddr* addr, socklen_t addrLen, NetProgress* progress) {
  if (::connect(s, addr, addrLen) == 0) return 1;
  if (errno != EINPROGRESS && errno != EAGAIN && errno != EINTR) return -1;
  std::uint64_t start = NowSeconds();
  for (;;) {
    int check = IterationCheck(progress, start);
    if (check == -2) return 0;
    if (check == -1) return -1;
    int r = PollWritable(s, kPollSliceMs);
    if (r < 0) return -1;
    if (r == 0) continue;
    // Writable or in error: SO_ERROR tells which, so a refusal is noticed at once.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -1;
    return error == 0 ? 1 : -1;
  }
}

long RecvAll(int s, char* buf, long total, long block, NetProgress* progress) {
  if (block <= 0) block = static_cast<long>(kRecvBlock);
  long got = 0;
  while (got < total) {
    long piece = std::min(block, total - got);
    long r = RecvWait(s, buf + got, static_cast<std::size_t>(piece), 0, progress);
    if (r < 0) return -1;
    if (r == 0) break;
    got += r;
  }
  return got;
}

long SendAll(int s, const char* buf, long total, long block, NetProgress* progress) {
  if (block <= 0) block = static_cast<long>(kSendBlock);
  long sent = 0;
  while (sent < total) {
    long piece = std::min(block, total - sent);
    long r = SendWait(s, buf + sent, static_cast<std::size_t>(piece), 0, progress);
    if (r <= 0) return -1;
    sent += r;
  }
  return total;
}

int RecvUntil(int s, std::string& out, std::size_t size, FindEndFn findEnd, void* arg,
              NetProgress* progress) {
  out.clear();
  if (size < 2) return 0;
  const std::uint64_t start = NowSeconds();
  std::vector<char> buf(size);
  std::size_t got = 0;
  auto fail = [&] {
    out.assign(buf.data(), got);
    return 0;
  };
  while (got < size - 1) {
    long peeked = RecvWaitSince(s, buf.data() + got, size - 1 - got, MSG_PEEK, progress, start);
    if (peeked <= 0) return fail();
    long unit = findEnd(buf.data(), got + static_cast<std::size_t>(peeked), arg);
    std::size_t take = static_cast<std::size_t>(peeked);
    if (unit > 0 && static_cast<std::size_t>(unit) >= got) {
      take = static_cast<std::size_t>(unit) - got;
    } else {
      unit = 0;
    }
    // Consume exactly what was looked at (or the rest of the unit); it is already queued.
    std::size_t consumed = 0;
    while (consumed < take) {
      long r = RecvWaitSince(s, buf.data() + got + consumed, take - consumed, 0, progress, start);
      if (r <= 0) {
        got += consumed;
        return fail();
      }
      consumed += static_cast<std::size_t>(r);
    }
    got += take;
    if (unit > 0) {
      out.assign(buf.data(), got);
      return 1;
    }
  }
  return fail();
}

bool SetSocketOptions(int s, bool full) {
  int off = 0;
  int size = kSocketBufferSize;
  bool ok = true;
  ok &= ::setsockopt(s, SOL_SOCKET, SO_DEBUG, &off, sizeof off) == 0;
  ok &= ::setsockopt(s, SOL_SOCKET, SO_DONTROUTE, &off, sizeof off) == 0;
  ok &= ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &off, sizeof off) == 0;
  if (kSocketBufferSize > 0) {
    ok &= ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) == 0;
    ok &= ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
  }
  if (full) {
    ok &= ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &off, sizeof off) == 0;
    ok &= ::setsockopt(s, SOL_SOCKET, SO_OOBINLINE, &off, sizeof off) == 0;
    linger reset{1, 0};
    ok &= ::setsockopt(s, SOL_SOCKET, SO_LINGER, &reset, sizeof reset) == 0;
  }
  return ok;
}

std::uint32_t ResolveHost(std::string_view host, NetProgress* progress) {
  if (progress) {
    progress->text = std::string(host);
    ReportState(*progress, kNetStateResolving);
  }
  if (host.empty()) return kNoAddress;
  std::string name(host);
  if (LooksNumeric(host)) {
    in_addr numeric{};
    if (::inet_pton(AF_INET, name.c_str(), &numeric) == 1) return numeric.s_addr;
  }
  HostCache* cache = SharedHostCache();
  if (cache) {
    std::uint32_t cached = cache->Lookup(host);
    if (cached != kNoAddress) return cached;
  }
  if (CancelRequested(progress)) return kNoAddress;
  std::uint32_t address = LookupCancellable(host, progress);
  if (address != kNoAddress && cache) cache->Add(host, address);
  return address;
}

int ConnectAddress(std::uint32_t address, int port, NetProgress* progress) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) return kNoSocket;
  SetSocketOptions(s, true);
  int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
    ::close(s);
    return kNoSocket;
  }
  if (progress) ReportState(*progress, kNetStateConnecting);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  peer.sin_addr.s_addr = address;
  if (ConnectWait(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer, progress) != 1) {
    ::close(s);
    return kNoSocket;
  }
  if (progress) {
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
    progress->text = dotted;
    progress->port = port;
    ReportState(*progress, kNetStateConnected);
  }
  return s;
}

int ConnectHost(std::string_view host, int port, NetProgress* progress) {
  std::uint32_t address = ResolveHost(host, progress);
  if (address == kNoAddress) return kNoSocket;
  int attempts = progress ? progress->attempts : 1;
  for (int i = 0; i < attempts; ++i) {
    if (CancelRequested(progress)) break;
    int s = ConnectAddress(address, port, progress);
    if (s != kNoSocket) return s;
  }
  return kNoSocket;
}

void CloseConnection(int s, NetProgress*) {
  if (s < 0) return;
  ::shutdown(s, SHUT_RDWR);
  linger reset{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(s);
}

void NetStartup() {
  if (!g_hostCache.load()) {
    HostCache* fresh = new HostCache(kHostCacheCapacity);
    HostCache* expected = nullptr;
    if (!g_hostCache.compare_exchange_strong(expected, fresh)) delete fresh;
  }
}

void NetShutdown() {
  ClearCookies();
  ReleaseTlsState();
  delete g_hostCache.exchange(nullptr);
}

}  // namespace sondrel
