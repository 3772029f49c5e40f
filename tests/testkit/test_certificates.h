#pragma once
// A private CA and server certificates made at test time with OpenSSL: one valid for localhost
// and 127.0.0.1, one for another host name, an expired one, and one from a CA nobody trusts.
// Each is a PEM certificate and key file in a temporary directory.

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel::testkit {

struct CertificatePair {
  std::string cert;  // PEM file
  std::string key;
};

class TestCertificates {
 public:
  TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  bool ok() const { return ok_; }
  const std::string& caFile() const { return caFile_; }  // the trusted test CA
  const CertificatePair& valid() const { return valid_; }
  const CertificatePair& otherHost() const { return otherHost_; }
  const CertificatePair& expired() const { return expired_; }
  const CertificatePair& unknownIssuer() const { return unknownIssuer_; }

 private:
  TempDir dir_;
  bool ok_ = false;
  std::string caFile_;
  CertificatePair valid_;
  CertificatePair otherHost_;
  CertificatePair expired_;
  CertificatePair unknownIssuer_;
};

}  // namespace sondrel::testkit
