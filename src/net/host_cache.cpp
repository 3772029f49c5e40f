#include "net/host_cache.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace sondrel {

std::uint32_t HostCache::Lookup(std::string_view name) const {
  std::lock_guard lock(mutex_);
  for (const auto& [host, address] : entries_) {
    if (host == name) return address;
  }
  return kNoAddress;
}

void HostCache::Add(std::string_view name, std::uint32_t address) {
  std::lock_guard lock(mutex_);
  if (capacity_ == 0) return;
  if (entries_.size() < capacity_) {
    entries_.emplace_back(std::string(name), address);
  } else {
    entries_[0] = {std::string(name), address};
  }
}

std::size_t HostCache::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::uint32_t ResolveHostAddress(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return kNoAddress;
  std::uint32_t address = kNoAddress;
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr) {
      address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  ::freeaddrinfo(found);
  return address;
}

}  // namespace sondrel
