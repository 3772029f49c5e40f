#include "results/verification_merge.h"

#include <cstdint>
#include <deque>
#include <map>

namespace sondrel {
namespace {

struct Outcome {
  std::uint8_t status;
  std::int32_t size;
};

struct UrlOutcomes {
  int checked = 0;           // entries with this URL when the verification began
  std::deque<Outcome> kept;  // what the ones still in the verified document got, in order
};

}  // namespace

void MergeVerification(SearchDocument& current, const std::vector<std::string>& checkedUrls,
                       const SearchDocument& verified) {
  std::map<std::string, UrlOutcomes, std::less<>> byUrl;
  for (const std::string& url : checkedUrls) ++byUrl[url].checked;
  for (const auto& entry : verified.entries) {
    auto found = byUrl.find(entry->url);
    if (found != byUrl.end()) found->second.kept.push_back({entry->status, entry->size});
  }
  for (int i = 0; i < current.entries.Count();) {
    ResultEntry& entry = *current.entries.Get(i);
    auto found = byUrl.find(entry.url);
    if (found == byUrl.end() || found->second.checked == 0) {
      ++i;  // not part of the verification
      continue;
    }
    UrlOutcomes& outcomes = found->second;
    --outcomes.checked;
    if (outcomes.kept.empty()) {
      (void)current.entries.RemoveAt(i);  // removed as invalid
      current.modified = true;
      continue;
    }
    entry.status = outcomes.kept.front().status;
    entry.size = outcomes.kept.front().size;
    outcomes.kept.pop_front();
    current.modified = true;
    ++i;
  }
  const int count = current.entries.Count();
  if (current.currentIndex >= count) {
    current.currentIndex = static_cast<std::int16_t>(count > 0 ? count - 1 : 0);
  }
}

}  // namespace sondrel
