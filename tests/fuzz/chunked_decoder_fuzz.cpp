// A chunked body is hostile input that arrives cut at any byte: decoding it in pieces must give
// exactly what decoding it whole gives, and never more body than input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/chunked_decoder.h"

namespace {

struct Outcome {
  std::string body;
  std::size_t consumed = 0;
  bool done = false;
  bool failed = false;
};

// Feeds bytes in pieces of the given lengths (cycled), as reads from a socket would.
Outcome Decode(const std::string& bytes, const std::vector<std::size_t>& pieces) {
  sondrel::ChunkedDecoder decoder;
  Outcome out;
  std::size_t at = 0;
  std::size_t turn = 0;
  while (at < bytes.size() && !decoder.Done() && !decoder.Failed()) {
    std::size_t n = std::min(pieces[turn++ % pieces.size()], bytes.size() - at);
    std::string piece = bytes.substr(at, n);
    sondrel::ChunkedStep step = decoder.Decode(piece.data(), piece.size());
    if (step.body > step.consumed || step.consumed > n) __builtin_trap();
    out.body.append(piece.data(), step.body);
    at += step.consumed;
    if (step.consumed < n && !decoder.Done() && !decoder.Failed()) __builtin_trap();
  }
  out.consumed = at;
  out.done = decoder.Done();
  out.failed = decoder.Failed();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses how the rest is cut.
  std::size_t split = data[0] % 7 + 1;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  Outcome whole = Decode(bytes, {bytes.size() + 1});
  Outcome cut = Decode(bytes, {split, 1, split * 3});
  if (whole.body != cut.body || whole.done != cut.done || whole.failed != cut.failed) {
    __builtin_trap();
  }
  if (whole.done && whole.consumed != cut.consumed) __builtin_trap();
  if (whole.body.size() > bytes.size()) __builtin_trap();
  return 0;
}
