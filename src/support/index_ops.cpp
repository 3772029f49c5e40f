#include "support/index_ops.h"

#include <algorithm>
#include <climits>

namespace sondrel {

int IndexClamp(int value, int low, int count, bool wrap) {
  if (count < 1) return low;
  const int high = low + count - 1;
  if (value < low) return wrap ? high : low;
  if (value > high) return wrap ? low : high;
  return value;
}

bool IndexMove(int& index, int count, int how, int delta) {
  int next;
  switch (how) {
    case IndexFirst:
      next = 0;
      break;
    case IndexLast:
      next = count - 1;
      break;
    default:
      // Wide sum: a hostile delta must not overflow.
      next = static_cast<int>(std::clamp<long long>(static_cast<long long>(index) + delta,
                                                    INT_MIN, INT_MAX));
      break;
  }
  next = count < 1 ? 0 : IndexClamp(next, 0, count, false);
  const bool changed = next != index;
  index = next;
  return changed;
}

int CircularFind(int start, int count, bool skipStart, const std::function<bool(int)>& isTaken) {
  if (count < 1) return -1;
  const bool startInRange = start >= 0 && start < count;
  if (!skipStart && startInRange && !isTaken(start)) return start;
  for (int i = std::max(start + 1, 0); i < count; ++i) {
    if (!isTaken(i)) return i;
  }
  for (int i = 0; i < std::min(start, count); ++i) {
    if (!isTaken(i)) return i;
  }
  return -1;
}

}  // namespace sondrel
