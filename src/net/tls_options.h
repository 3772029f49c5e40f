#pragma once
// How a fetch checks the server's certificate: the system's trust store always, plus an extra
// trust anchor for private servers; checking can be turned off for one run, never for good.

#include <string>

namespace sondrel {

struct TlsOptions {
  std::string caFile;     // PEM file of extra trust anchors; empty for none
  bool insecure = false;  // no certificate or host name check (a single run's -k)

  bool operator==(const TlsOptions&) const = default;
};

// The options of every request that names none of its own (HttpRequest::tls left empty):
// set once by a front end from its settings and command line.
void SetDefaultTlsOptions(const TlsOptions& options);
TlsOptions DefaultTlsOptions();

}  // namespace sondrel
