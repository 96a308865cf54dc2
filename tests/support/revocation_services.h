#pragma once

#include <memory>
#include <string>

#include <sys/types.h>

#include "tests/support/test_support.h"
#include "tests/support/tsa_server.h"

namespace testing_support {

// RevocationServices is a test PKI whose certificates name real services on loopback, and
// those services: an `openssl ocsp` responder that signs with the authority's delegated
// responder, a second one that signs with a responder nobody authorised, a file server for
// revocation lists and the authority's certificate (with a path that always answers 500), and
// a time-stamp authority whose certificate is checked by revocation list. Everything is made
// and started by Start, stopped by the destructor, and dies with the test process.
class RevocationServices {
 public:
  enum class Person {
    Good,             // OCSP, list and issuer's certificate all served
    Revoked,          // revoked by the authority since RevokedAt()
    Failing,          // its OCSP responder answers HTTP 500
    Forged,           // its OCSP responder signs with a key the authority never authorised
    UnreachableList,  // no OCSP responder; nothing listens where its list should be
  };

  RevocationServices();
  ~RevocationServices();
  RevocationServices(const RevocationServices&) = delete;
  RevocationServices& operator=(const RevocationServices&) = delete;

  [[nodiscard]] bool Start(std::string* why);

  const TestIdentity& Holder(Person person) const;
  const TestIdentity& Root() const { return root_; }
  const TestIdentity& TsaRoot() const { return tsaRoot_; }
  TsaServer& Tsa() { return *tsa_; }
  // TrustBundle is a PEM file with both roots.
  std::string TrustBundle() const { return dir_.File("roots.pem"); }
  // RevokedAt is when the Revoked person's certificate was revoked: "2026-12-06 10:15:00 UTC".
  const std::string& RevokedAt() const { return revokedAt_; }
  // FileRequests counts the requests for `path` ("/ca.crl") the file server has had.
  int FileRequests(const std::string& path) const;
  // OcspRequests counts the requests the authority's own responder has answered.
  int OcspRequests() const;
  std::string OcspUrl() const { return "http://127.0.0.1:" + std::to_string(ocspPort_) + "/"; }

 private:
  bool StartResponder(const TempDir& dir, const TestIdentity& signer, pid_t* pid, int* port,
                      std::string* why);
  void MakeList(const TestIdentity& ca, const std::string& index, const std::string& out);

  TempDir dir_, filesDir_, ocspDir_, strangerDir_;
  TestPki pki_{dir_.path()};
  TestIdentity root_, tsaRoot_, responder_, strangerRoot_, stranger_, tsaCert_;
  TestIdentity people_[5];
  std::unique_ptr<TsaServer> tsa_;
  std::string revokedAt_;
  pid_t files_ = -1, ocsp_ = -1, strangerOcsp_ = -1;
  int filesPort_ = 0, ocspPort_ = 0, strangerPort_ = 0;
};

}  // namespace testing_support
