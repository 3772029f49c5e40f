#include "net/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "net/net_texts.h"

namespace sondrel {
namespace {

// The state lives for the whole process (never destroyed), so connections of threads still
// running at exit keep valid contexts.
struct TlsState {
  std::mutex mutex;
  TlsOptions defaultOptions;
  std::map<std::pair<std::string, bool>, SSL_CTX*> contexts;
  std::map<std::string, SSL_SESSION*, std::less<>> sessions;
};

TlsState& State() {
  static TlsState* state = new TlsState;
  return *state;
}

std::atomic<long> g_fullHandshakes{0};
std::atomic<long> g_resumedHandshakes{0};

// The index of the session key every client SSL carries for the new-session callback.
int SessionKeyIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// TLS 1.3 hands out tickets after the handshake; they arrive here and become the host's session.
int OnNewSession(SSL* ssl, SSL_SESSION* session) {
  auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, SessionKeyIndex()));
  if (!key) return 0;
  std::lock_guard lock(State().mutex);
  auto [it, inserted] = State().sessions.try_emplace(*key, session);
  if (!inserted) {
    SSL_SESSION_free(it->second);
    it->second = session;
  }
  return 1;  // the reference is ours now
}

SSL_CTX* MakeContext(const TlsOptions& options, std::string& detail) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) {
    detail = std::string(net_texts::kTlsNoContext);
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
  // The default paths follow SSL_CERT_FILE and SSL_CERT_DIR when they are set.
  SSL_CTX_set_default_verify_paths(ctx);
  if (!options.caFile.empty() &&
      SSL_CTX_load_verify_locations(ctx, options.caFile.c_str(), nullptr) != 1) {
    ERR_clear_error();
    detail = std::string(net_texts::kTlsCaFileUnreadable) + options.caFile;
    SSL_CTX_free(ctx);
    return nullptr;
  }
  SSL_CTX_set_verify(ctx, options.insecure ? SSL_VERIFY_NONE : SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ctx, OnNewSession);
  (void)SessionKeyIndex();
  return ctx;
}

}  // namespace

void SetDefaultTlsOptions(const TlsOptions& options) {
  std::lock_guard lock(State().mutex);
  State().defaultOptions = options;
}

TlsOptions DefaultTlsOptions() {
  std::lock_guard lock(State().mutex);
  return State().defaultOptions;
}

SSL_CTX* TlsClientContext(const TlsOptions& options, std::string& detail) {
  std::lock_guard lock(State().mutex);
  auto key = std::make_pair(options.caFile, options.insecure);
  auto it = State().contexts.find(key);
  if (it != State().contexts.end()) return it->second;
  SSL_CTX* ctx = MakeContext(options, detail);
  if (ctx) State().contexts.emplace(std::move(key), ctx);
  return ctx;
}

void RememberTlsSession(std::string_view key, SSL_SESSION* session) {
  if (!session || SSL_SESSION_up_ref(session) != 1) return;
  std::lock_guard lock(State().mutex);
  auto [it, inserted] = State().sessions.try_emplace(std::string(key), session);
  if (!inserted) {
    SSL_SESSION_free(it->second);
    it->second = session;
  }
}

SSL_SESSION* RecallTlsSession(std::string_view key) {
  std::lock_guard lock(State().mutex);
  auto it = State().sessions.find(key);
  if (it == State().sessions.end() || !SSL_SESSION_is_resumable(it->second)) return nullptr;
  return SSL_SESSION_up_ref(it->second) == 1 ? it->second : nullptr;
}

std::string DescribeHandshakeFailure(SSL* ssl) {
  namespace t = net_texts;
  long verify = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
  switch (verify) {
    case X509_V_OK:
      break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return std::string(t::kTlsUnknownIssuer);
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return std::string(t::kTlsExpired);
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return std::string(t::kTlsOtherHost);
    default:
      return std::string(t::kTlsHandshakeFailed) + X509_verify_cert_error_string(verify);
  }
  unsigned long error = ERR_peek_last_error();
  const char* reason = error ? ERR_reason_error_string(error) : nullptr;
  ERR_clear_error();
  return std::string(t::kTlsHandshakeFailed) + (reason ? reason : t::kTlsPeerClosed.data());
}

void ForgetTlsSessions() {
  std::lock_guard lock(State().mutex);
  for (auto& [key, session] : State().sessions) SSL_SESSION_free(session);
  State().sessions.clear();
}

void ReleaseTlsState() {
  std::lock_guard lock(State().mutex);
  for (auto& [key, session] : State().sessions) SSL_SESSION_free(session);
  State().sessions.clear();
  for (auto& [key, ctx] : State().contexts) SSL_CTX_free(ctx);
  State().contexts.clear();
}

TlsHandshakeCounts HandshakeCounts() {
  return {g_fullHandshakes.load(), g_resumedHandshakes.load()};
}

void CountHandshake(bool resumed) {
  (resumed ? g_resumedHandshakes : g_fullHandshakes).fetch_add(1);
}

int TlsSessionKeyIndex() {
  return SessionKeyIndex();
}

}  // namespace sondrel
