#pragma once
// Host names already looked up, shared by every thread; guarded by its own mutex, which is held
// only for one lookup or one insertion.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sondrel {

constexpr std::size_t kHostCacheCapacity = 500;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;  // INADDR_NONE

class HostCache {
 public:
  explicit HostCache(std::size_t capacity = kHostCacheCapacity) : capacity_(capacity) {}

  // Exact, case-sensitive; the first match; kNoAddress when absent.
  std::uint32_t Lookup(std::string_view name) const;
  // Appends while there is room; when full, entry 0 is overwritten and later entries stay.
  void Add(std::string_view name, std::uint32_t address);
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::vector<std::pair<std::string, std::uint32_t>> entries_;  // address in network order
};

// Blocking system lookup of host: its first IPv4 address in network order, or kNoAddress.
// Neither reads nor fills a cache.
[[nodiscard]] std::uint32_t ResolveHostAddress(const std::string& host);

// The shared cache made by NetStartup; null before it and after NetShutdown.
HostCache* SharedHostCache();

}  // namespace sondrel
