#include "net/connection_pool.h"

#include <poll.h>
#include <sys/socket.h>

#include "net/async_connection.h"

namespace sondrel {
namespace {

// A connection idle in the pool has nothing to say: anything readable is its close (or junk).
bool StillQuiet(const Connection& connection) {
  if (!connection.IsOpen() || connection.HasBuffered()) return false;
  pollfd p{connection.fd(), POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

}  // namespace

std::string PoolKey(const ConnectTarget& t) {
  std::string key = t.tls ? "https|" : "http|";
  key += t.server + "|" + std::to_string(t.serverPort) + "|" + t.host + "|" +
         std::to_string(t.port) + "|";
  if (t.tls) key += (t.tlsOptions.insecure ? "k|" : "v|") + t.tlsOptions.caFile;
  return key;
}

Connection ConnectionPool::Take(const ConnectTarget& target) {
  const std::string key = PoolKey(target);
  std::lock_guard lock(mutex_);
  std::uint64_t now = NowSeconds();
  for (std::size_t i = idle_.size(); i-- > 0;) {
    if (idle_[i].key != key) continue;
    Entry entry = std::move(idle_[i]);
    idle_.erase(idle_.begin() + static_cast<std::ptrdiff_t>(i));
    if (now - entry.since <= kPoolIdleSeconds && StillQuiet(entry.connection)) {
      ++reused_;
      return std::move(entry.connection);
    }
  }
  return {};
}

void ConnectionPool::Put(const ConnectTarget& target, Connection connection) {
  if (!StillQuiet(connection)) return;
  std::string key = PoolKey(target);
  std::lock_guard lock(mutex_);
  std::size_t same = 0;
  for (const Entry& e : idle_) same += e.key == key;
  if (same >= kPoolPerServer) return;  // closes the connection as it goes
  idle_.push_back(Entry{std::move(key), std::move(connection), NowSeconds()});
}

void ConnectionPool::Clear() {
  std::vector<Entry> closing;
  {
    std::lock_guard lock(mutex_);
    closing.swap(idle_);
  }
}

std::size_t ConnectionPool::Idle() const {
  std::lock_guard lock(mutex_);
  return idle_.size();
}

std::uint64_t ConnectionPool::Reused() const {
  std::lock_guard lock(mutex_);
  return reused_;
}

}  // namespace sondrel
