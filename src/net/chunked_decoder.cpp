#include "net/chunked_decoder.h"

#include <algorithm>
#include <cstring>

#include "support/text.h"

namespace sondrel {

void ChunkedDecoder::EndOfSizeLine() {
  digits_ = 0;
  skipped_ = 0;
  state_ = remaining_ == 0 ? ChunkedState::kTrailer : ChunkedState::kData;
}

// One byte of the size line; false when it breaks the line.
bool ChunkedDecoder::SizeByte(char c) {
  int hex = HexDigitValue(c);
  if (hex >= 0) {
    if (++digits_ > kChunkSizeDigitsMax) return false;
    remaining_ = remaining_ * 16 + static_cast<std::uint64_t>(hex);
    return true;
  }
  if (digits_ == 0) return false;  // no size at all: "-1", "x", an empty line
  if (c == ';' || c == ' ' || c == '\t') {
    state_ = ChunkedState::kExtension;
  } else if (c == '\r') {
    state_ = ChunkedState::kSizeLf;
  } else if (c == '\n') {
    EndOfSizeLine();
  } else {
    return false;
  }
  return true;
}

ChunkedStep ChunkedDecoder::Decode(char* data, std::size_t size) {
  ChunkedStep step;
  std::size_t i = 0;
  auto fail = [&] {
    state_ = ChunkedState::kFailed;
    step.consumed = i;
    return step;
  };
  while (i < size && state_ != ChunkedState::kDone && state_ != ChunkedState::kFailed) {
    const char c = data[i];
    switch (state_) {
      case ChunkedState::kSize:
        if (!SizeByte(c)) return fail();
        ++i;
        break;
      case ChunkedState::kExtension:
        if (c == '\n') {
          EndOfSizeLine();
        } else if (++skipped_ > kChunkExtensionMax) {
          return fail();
        }
        ++i;
        break;
      case ChunkedState::kSizeLf:
        if (c != '\n') return fail();
        EndOfSizeLine();
        ++i;
        break;
      case ChunkedState::kData: {
        std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(remaining_, static_cast<std::uint64_t>(size - i)));
        std::memmove(data + step.body, data + i, n);
        step.body += n;
        i += n;
        remaining_ -= n;
        if (remaining_ == 0) state_ = ChunkedState::kDataCr;
        break;
      }
      case ChunkedState::kDataCr:
        if (c == '\r') {
          state_ = ChunkedState::kDataLf;
        } else if (c == '\n') {
          state_ = ChunkedState::kSize;
        } else {
          return fail();  // a chunk longer than its size said
        }
        ++i;
        break;
      case ChunkedState::kDataLf:
        if (c != '\n') return fail();
        state_ = ChunkedState::kSize;
        ++i;
        break;
      case ChunkedState::kTrailer:
        if (c == '\n') {
          state_ = ChunkedState::kDone;
        } else {
          state_ = c == '\r' ? ChunkedState::kTrailerEndLf : ChunkedState::kTrailerLine;
        }
        ++i;
        break;
      case ChunkedState::kTrailerLine:
        if (++skipped_ > kChunkTrailerMax) return fail();
        if (c == '\n') state_ = ChunkedState::kTrailer;
        ++i;
        break;
      case ChunkedState::kTrailerEndLf:
        if (c != '\n') return fail();
        state_ = ChunkedState::kDone;
        ++i;
        break;
      default:
        return fail();
    }
  }
  step.consumed = i;
  return step;
}

}  // namespace sondrel
