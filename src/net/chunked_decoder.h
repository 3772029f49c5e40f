#pragma once
// The chunked transfer coding of an HTTP/1.1 body, decoded in place as the bytes arrive. A pure
// state machine: it knows nothing of sockets, so it can be fed a reply cut at any byte.

#include <cstddef>
#include <cstdint>

namespace sondrel {

enum class ChunkedState : std::uint8_t {
  kSize,       // hex digits of a chunk size
  kExtension,  // ";name=value" after the size, up to the line's end
  kSizeLf,     // the LF after the size line's CR
  kData,       // chunk bytes
  kDataCr,     // the CR LF after a chunk
  kDataLf,
  kTrailer,       // the start of a trailer line after the last chunk
  kTrailerLine,   // inside a trailer line
  kTrailerEndLf,  // the LF of the blank line that ends the body
  kDone,
  kFailed,
};

// More hex digits than a 64-bit size can hold are a malformed size, not a huge one.
constexpr int kChunkSizeDigitsMax = 15;
// Extensions and trailers are skipped, up to these many bytes each.
constexpr std::size_t kChunkExtensionMax = 4096;
constexpr std::size_t kChunkTrailerMax = 8192;

struct ChunkedStep {
  std::size_t body = 0;      // decoded body bytes now at the start of the buffer
  std::size_t consumed = 0;  // input bytes used; the rest (after the end) belongs to the next reply
};

class ChunkedDecoder {
 public:
  // Decodes data[0, size) in place: the body bytes move to the front. Stops at the end of the
  // body, or at the first malformed byte (then Failed()).
  ChunkedStep Decode(char* data, std::size_t size);

  bool Done() const { return state_ == ChunkedState::kDone; }
  bool Failed() const { return state_ == ChunkedState::kFailed; }
  ChunkedState state() const { return state_; }

 private:
  bool SizeByte(char c);
  void EndOfSizeLine();

  ChunkedState state_ = ChunkedState::kSize;
  std::uint64_t remaining_ = 0;  // of the current chunk, or the size being read
  int digits_ = 0;
  std::size_t skipped_ = 0;  // bytes of the current extension or of the trailer
};

}  // namespace sondrel
