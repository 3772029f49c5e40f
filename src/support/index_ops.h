#pragma once

#include <functional>

namespace sondrel {

int IndexClamp(int value, int low, int count, bool wrap);
enum IndexHow { IndexFirst = 0, IndexLast = 1, IndexStep = 2 };
// Moves index (first, last or by delta) clamped to 0..count - 1; whether it changed.
bool IndexMove(int& index, int count, int how, int delta);
// The first index from start (or after it) that isTaken rejects, wrapping once; -1 if none.
int CircularFind(int start, int count, bool skipStart, const std::function<bool(int)>& isTaken);

}  // namespace sondrel
