#pragma once
// Open connections kept after a reply whose server lets them stay open, so the next request to
// the same server (an engine's next page, the next link of a verification run) skips the TCP
// and TLS handshakes. One pool belongs to one operation and closes what it holds when it goes.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/connection.h"

namespace sondrel {

struct ConnectTarget;

constexpr std::size_t kPoolPerServer = 4;
// An idle connection older than this is closed rather than reused: servers drop idle ones.
constexpr std::uint64_t kPoolIdleSeconds = 30;

class ConnectionPool {
 public:
  ConnectionPool() = default;
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // An open connection to the target, or a closed Connection when there is none.
  Connection Take(const ConnectTarget& target);
  void Put(const ConnectTarget& target, Connection connection);
  // Closes every idle connection (the operation is over).
  void Clear();
  std::size_t Idle() const;
  // How many connections were handed out again.
  std::uint64_t Reused() const;

 private:
  struct Entry {
    std::string key;
    Connection connection;
    std::uint64_t since = 0;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> idle_;
  std::uint64_t reused_ = 0;
};

// "https|host|port|proxy|proxyPort|options": connections are shared only when all of it matches.
std::string PoolKey(const ConnectTarget& target);

}  // namespace sondrel
