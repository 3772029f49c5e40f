#include "testkit/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace sondrel::testkit {
namespace {

constexpr long kDay = 24 * 60 * 60;

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  bool added = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return added;
}

struct CertSpec {
  const char* commonName;
  const char* altNames;  // nullptr for a CA
  long notBefore;        // seconds from now
  long notAfter;
  long serial;
};

// A certificate for key, signed by issuerKey (issuer null: self-signed CA).
Cert MakeCert(const CertSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), spec.serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), spec.notBefore);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), spec.notAfter);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(spec.commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  bool ok = true;
  if (spec.altNames) {
    ok &= AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    ok &= AddExtension(cert.get(), signer, NID_subject_alt_name, spec.altNames);
    ok &= AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
  } else {
    ok &= AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    ok &= AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  }
  ok &= AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) == 0) return {};
  return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  bool ok = cert ? PEM_write_X509(f, cert) == 1
                 : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  return std::fclose(f) == 0 && ok;
}

Key NewKey() {
  return Key(EVP_EC_gen("P-256"));
}

}  // namespace

TestCertificates::TestCertificates() {
  Key caKey = NewKey();
  Key strangerKey = NewKey();
  Key serverKey = NewKey();
  if (!caKey || !strangerKey || !serverKey) return;
  Cert ca =
      MakeCert({"Sondrel Test CA", nullptr, -kDay, 30 * kDay, 1}, caKey.get(), nullptr, nullptr);
  Cert stranger =
      MakeCert({"Stranger CA", nullptr, -kDay, 30 * kDay, 2}, strangerKey.get(), nullptr, nullptr);
  if (!ca || !stranger) return;
  caFile_ = dir_.File("ca.pem");
  const std::string keyFile = dir_.File("server.key");
  ok_ = WritePem(caFile_, ca.get(), nullptr) && WritePem(keyFile, nullptr, serverKey.get());
  struct Made {
    CertificatePair& pair;
    const char* file;
    CertSpec spec;
    X509* issuer;
    EVP_PKEY* issuerKey;
  } made[] = {
      {valid_,
       "valid.pem",
       {"localhost", "DNS:localhost,IP:127.0.0.1", -kDay, 30 * kDay, 10},
       ca.get(),
       caKey.get()},
      {otherHost_,
       "other.pem",
       {"other.example", "DNS:other.example", -kDay, 30 * kDay, 11},
       ca.get(),
       caKey.get()},
      {expired_,
       "expired.pem",
       {"localhost", "DNS:localhost,IP:127.0.0.1", -10 * kDay, -2 * kDay, 12},
       ca.get(),
       caKey.get()},
      {unknownIssuer_,
       "stranger.pem",
       {"localhost", "DNS:localhost,IP:127.0.0.1", -kDay, 30 * kDay, 13},
       stranger.get(),
       strangerKey.get()},
  };
  for (Made& m : made) {
    Cert cert = MakeCert(m.spec, serverKey.get(), m.issuer, m.issuerKey);
    m.pair.cert = dir_.File(m.file);
    m.pair.key = keyFile;
    ok_ = ok_ && cert && WritePem(m.pair.cert, cert.get(), nullptr);
  }
}

}  // namespace sondrel::testkit
