// Server replies from anywhere: the reply end must stay inside the bytes and agree with itself
// on the reply's own prefix, and the passive-address reader must agree with strtoll base 0 (the
// reading of C's %i) and only ever yield a dotted address and a port.

#include <arpa/inet.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/ftp_control.h"
#include "net/ftp_transfer.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  const long end = FtpReplyEnd(text);
  if (end > static_cast<long>(size)) std::abort();
  if (end > 0) {
    if (end < 5 || text[static_cast<std::size_t>(end) - 1] != '\n') std::abort();
    if (FtpReplyEnd(text.substr(0, static_cast<std::size_t>(end))) != end) std::abort();
  }
  (void)FtpReplyCode(text);

  std::string host;
  int port = -1;
  if (FtpPassiveAddress(text, host, port)) {
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1) std::abort();
    if (port < 0 || port > 65535) std::abort();
  }

  const std::string plain(text.substr(0, text.find('\0')));
  std::string_view cursor = plain;
  std::int64_t value = 0;
  const bool read = ReadCInteger(cursor, value);
  errno = 0;
  char* stop = nullptr;
  const long long expected = std::strtoll(plain.c_str(), &stop, 0);
  const std::size_t consumed = static_cast<std::size_t>(stop - plain.c_str());
  if (read != (consumed > 0)) std::abort();
  if (read && plain.size() - cursor.size() != consumed) std::abort();
  if (read && errno != ERANGE && value != expected) std::abort();
  return 0;
}
