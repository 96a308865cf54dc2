#pragma once

// Helpers shared by the certificate tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "certs/certificate.h"
#include "core/der.h"
#include "core/rsa.h"
#include "tests/support/test_support.h"

namespace testing_support {

// ScopedEnv sets (or unsets, with nullopt) an environment variable and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// PrivateTemp points TEMP at a fresh folder (TMP and TMPDIR unset) for one test, so the
// test can check that nothing is left behind.
struct PrivateTempFolder {
  TempDir dir;
  ScopedEnv temp{"TEMP", dir.path()};
  ScopedEnv tmp{"TMP", std::nullopt};
  ScopedEnv tmpdir{"TMPDIR", std::nullopt};
};

// PeopleSuite makes one TestPeople for a whole suite; suites with more identities extend
// SetUpTestSuite and make them with people_->pki.
class PeopleSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    people_ = new TestPeople();
    ana_ = &people_->ana;
    beto_ = &people_->beto;
  }
  static void TearDownTestSuite() {
    delete people_;
    people_ = nullptr;
  }
  static std::string File(const std::string& name) { return people_->dir.File(name); }

  static inline TestPeople* people_;
  static inline const TestIdentity *ana_, *beto_;
};

inline bool Verifies(const Bytes& certDer, const Bytes& signature, const Bytes& data) {
  auto key = ExtractRsaPublicKey(certDer);
  return key && VerifyRsaPkcs1Sha256(key->modulus, key->exponent, signature, data.data(), data.size());
}

// MakePkcs12 exports a key and certificate (plus `extra` certificates) with a password.
// `plain` files have no MAC and no encryption, so their safes can be recombined (Safes).
inline void MakePkcs12(const TestIdentity& id, const std::string& password, const std::string& out,
                       bool plain = false, const std::string& extraCertPem = "") {
  std::string command = "openssl pkcs12 -export -inkey " + Quote(id.keyPem) + " -in " + Quote(id.certPem) +
                        " -passout " + Quote("pass:" + password) + " -out " + Quote(out);
  if (plain) command += " -certpbe NONE -keypbe NONE -nomac";
  if (!extraCertPem.empty()) command += " -certfile " + Quote(extraCertPem);
  CommandResult r = RunCommand(command);
  ASSERT_EQ(r.status, 0) << command << "\n" << r.output;
}

// Safes splits an unencrypted PKCS#12 file into its ContentInfo safes (openssl writes the
// certificate safe first, then the key safe).
inline std::vector<Bytes> Safes(const Bytes& pfx) {
  DerReader top(pfx.data(), pfx.size()), body, info, wrapped, octets, safes;
  DerElement element;
  std::vector<Bytes> out;
  if (!top.Expect(0x30, &body) || !body.Next(&element) || !body.Expect(0x30, &info) || !info.Next(&element) ||
      !info.Expect(0xA0, &wrapped) || !wrapped.Expect(0x04, &octets) || !octets.Expect(0x30, &safes))
    return out;
  while (!safes.Empty()) {
    if (!safes.Next(&element)) break;
    out.emplace_back(safes.data() + element.headerStart, safes.data() + element.end);
  }
  return out;
}

// JoinSafes makes an unencrypted PKCS#12 file of the given safes: combinations openssl's own
// export refuses, such as a certificate with another certificate's key.
inline Bytes JoinSafes(const std::vector<Bytes>& safes) {
  Bytes all;
  for (const Bytes& safe : safes) Append(&all, safe);
  Bytes dataOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
  Bytes version = {0x02, 0x01, 0x03};
  Bytes content = DerTlv(0xA0, DerTlv(0x04, DerTlv(0x30, all)));
  Bytes info = DerTlv(0x30, {&dataOid, &content});
  return DerTlv(0x30, {&version, &info});
}

}  // namespace testing_support
