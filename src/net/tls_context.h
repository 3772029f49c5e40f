#pragma once
// The process's TLS client side: one OpenSSL context per set of options, and the sessions of the
// servers seen in this run, so a new connection to one of them resumes instead of repeating the
// full handshake.

#include <string>
#include <string_view>

#include "net/tls_options.h"

struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

namespace sondrel {

// The context for options, made on first use; null when OpenSSL cannot make one or the CA file
// does not load (detail then says why). Contexts live until NetShutdown.
ssl_ctx_st* TlsClientContext(const TlsOptions& options, std::string& detail);

// The session cache, keyed by "host:port" and the options' context.
void RememberTlsSession(std::string_view key, ssl_session_st* session);  // takes a reference
// A reference the caller must free, or null.
ssl_session_st* RecallTlsSession(std::string_view key);

// The ex-data slot where a client SSL keeps its session key (a std::string it owns).
int TlsSessionKeyIndex();

// The user's words for a failed handshake of ssl: "unknown issuer", "certificate has expired",
// "certificate is for another host", or "handshake failed: ..." with OpenSSL's reason.
std::string DescribeHandshakeFailure(ssl_st* ssl);

// Drops the remembered sessions: the next connection to every server makes a full handshake.
void ForgetTlsSessions();
// Frees every context and session (NetShutdown).
void ReleaseTlsState();

// Counts for the figures and tests: full handshakes and resumed ones since start.
struct TlsHandshakeCounts {
  long full = 0;
  long resumed = 0;
};
TlsHandshakeCounts HandshakeCounts();
void CountHandshake(bool resumed);

}  // namespace sondrel
