// Feeds arbitrary bytes to the record-file and memory readers: a short script of read
// operations (the first bytes) runs against the rest, as a file and as a memory block.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/record_file.h"
#include "support/string_list.h"

namespace {

constexpr std::size_t kScriptLength = 8;
constexpr int kMaxSteps = 64;
constexpr std::string_view kKey = "fuzz-key";

void Check(bool condition) {
  if (!condition) std::abort();
}

// One scratch file per process, in memory when the system offers it, removed at exit.
const std::string& ScratchPath() {
  static const std::string path = [] {
    for (const char* dir : {"/dev/shm", "/tmp"}) {
      std::string p = std::string(dir) + "/sondrel_record_fuzz.XXXXXX";
      const int fd = mkstemp(p.data());
      if (fd < 0) continue;
      close(fd);
      return p;
    }
    return std::string("sondrel_record_fuzz.tmp");
  }();
  static const bool removeAtExit = std::atexit([] { unlink(ScratchPath().c_str()); }) == 0;
  (void)removeAtExit;
  return path;
}

void RunFile(std::string_view script, std::string_view body, int bufferSize) {
  std::FILE* out = std::fopen(ScratchPath().c_str(), "wb");
  if (out == nullptr) return;
  std::fwrite(body.data(), 1, body.size(), out);
  std::fclose(out);
  auto file = sondrel::RecordFile::Open(ScratchPath(), false, bufferSize);
  if (!file) return;
  std::string text;
  char raw[64];
  for (int step = 0; step < kMaxSteps; ++step) {
    const unsigned op = static_cast<unsigned char>(script[step % script.size()]);
    const int limit = static_cast<int>(op >> 3) * 16;
    switch (op & 7) {
      case 0: {
        const int got = file->Read(raw, static_cast<int>(op % sizeof raw) + 1);
        Check(got <= static_cast<int>(op % sizeof raw) + 1);
        break;
      }
      case 1:
        if (file->ReadString(text, limit)) Check(static_cast<int>(text.size()) < limit - 1);
        break;
      case 2:
        if (file->ReadStringCut(text, limit)) Check(static_cast<int>(text.size()) <= limit);
        break;
      case 3:
        Check(static_cast<int>(file->ReadStringNew(limit).size()) <= limit);
        break;
      case 4:
        if (file->ReadScrambled(text, limit, kKey)) Check(static_cast<int>(text.size()) <= limit);
        break;
      case 5: {
        sondrel::StringList list;
        (void)list.Read(*file);
        Check(list.Count() <= sondrel::StringList::kMaxItems);
        break;
      }
      case 6: {
        sondrel::RecentList recent(5);
        (void)recent.Read(*file);
        break;
      }
      default: {
        std::uint32_t v = 0;
        (void)file->ReadU32(v);
        (void)file->CheckMagic("SNDR");
      }
    }
  }
  (void)file->Close();
}

void RunMemory(std::string_view script, std::string_view body) {
  sondrel::MemReader reader(body);
  std::string text;
  char raw[64];
  for (int step = 0; step < kMaxSteps; ++step) {
    const unsigned op = static_cast<unsigned char>(script[step % script.size()]);
    const int before = reader.Pos();
    switch (op & 3) {
      case 0: {
        const int n = static_cast<int>(op % sizeof raw) + 1;
        const int got = reader.Read(raw, n);
        Check(got == 0 ? reader.Pos() == before : (got == n && reader.Pos() == before + n));
        break;
      }
      case 1:
        (void)reader.ReadString(text, static_cast<int>(op >> 2) * 8);
        break;
      case 2:
        (void)reader.ReadScrambled(text, static_cast<int>(op >> 2) * 8, kKey);
        break;
      default:
        (void)reader.CheckMagic("SNDR");
    }
    Check(reader.Pos() >= before && reader.Pos() <= reader.Size());
  }
  // Scrambling is undone exactly, for any bytes and key.
  Check(sondrel::Unscrambled(sondrel::Scrambled(body, script), script) == body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kScriptLength + 1) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const int bufferSize = 1 + static_cast<unsigned char>(all[0]) * 40;
  const std::string_view script = all.substr(1, kScriptLength);
  const std::string_view body = all.substr(1 + kScriptLength);
  RunFile(script, body, bufferSize);
  RunMemory(script, body);
  return 0;
}
