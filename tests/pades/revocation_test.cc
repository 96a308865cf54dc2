// OCSP answers and revocation lists made by openssl, and what the checks make of them.
#include <gtest/gtest.h>

#include <ctime>

#include "pades/crl.h"
#include "pades/ocsp.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TestIdentity;

namespace {

constexpr char kRsa[] = "-algorithm RSA -pkeyopt rsa_keygen_bits:2048";
constexpr char kResponder[] = "keyUsage=critical,digitalSignature\nextendedKeyUsage=OCSPSigning";

// Authority is a CA with a delegated responder, a stranger's responder, two holders (one of them
// revoked) and the index openssl answers and lists from.
struct Authority {
  std::string dir = Pki().dir();
  TestIdentity ca = Pki().MakeCa("Revocacion CA");
  TestIdentity other = Pki().MakeCa("Revocacion otra CA");
  TestIdentity responder = Pki().MakeLeaf(ca, "rev-responder", "/CN=Respondedor", kRsa, kResponder);
  TestIdentity stranger = Pki().MakeLeaf(other, "rev-stranger", "/CN=Ajeno", kRsa, kResponder);
  TestIdentity good = Pki().MakeLeaf(ca, "rev-good", "/CN=Buena", kRsa, "keyUsage=digitalSignature", 3001);
  TestIdentity revoked =
      Pki().MakeLeaf(ca, "rev-revoked", "/CN=Revocada", kRsa, "keyUsage=digitalSignature", 3002);
  TestIdentity unknown =
      Pki().MakeLeaf(ca, "rev-unknown", "/CN=Desconocida", kRsa, "keyUsage=digitalSignature", 3003);
  Authority() {
    testing_support::WriteFileText(dir + "/rev-index.txt",
                                   "V\t491231235959Z\t\t0BB9\tunknown\t/CN=Buena\n"
                                   "R\t491231235959Z\t260101000000Z\t0BBA\tunknown\t/CN=Revocada\n");
  }
  CertificateDetails Details(const TestIdentity& id) const {
    CertificateDetails d;
    EXPECT_TRUE(ReadCertificateDetails(id.certDer, &d));
    return d;
  }
  // Answer has openssl answer `request` as `signer` would.
  Bytes Answer(const Bytes& request, const TestIdentity& signer) const {
    testing_support::WriteFileBytes(dir + "/rev-req.der", request);
    const auto r = RunCommand("openssl ocsp -index " + Quote(dir + "/rev-index.txt") + " -CA " +
                              Quote(ca.certPem) + " -rsigner " + Quote(signer.certPem) + " -rkey " +
                              Quote(signer.keyPem) + " -ndays 1 -reqin " + Quote(dir + "/rev-req.der") +
                              " -respout " + Quote(dir + "/rev-resp.der"));
    EXPECT_EQ(r.status, 0) << r.output;
    return testing_support::ReadFileBytes(dir + "/rev-resp.der");
  }
  Bytes List(const TestIdentity& issuer) const {
    const std::string base = dir + "/rev-list-" + std::to_string(rand());
    testing_support::WriteFileText(base + ".num", "01\n");
    testing_support::WriteFileText(base + ".cnf", "[ca]\ndefault_ca=x\n[x]\ndatabase=" + dir +
                                                      "/rev-index.txt\ncrlnumber=" + base +
                                                      ".num\ndefault_md=sha256\ndefault_crl_days=7\n");
    const auto r = RunCommand("openssl ca -batch -gencrl -config " + Quote(base + ".cnf") + " -keyfile " +
                              Quote(issuer.keyPem) + " -cert " + Quote(issuer.certPem) + " -out " +
                              Quote(base + ".pem") + " && openssl crl -in " + Quote(base + ".pem") +
                              " -outform DER -out " + Quote(base + ".der"));
    EXPECT_EQ(r.status, 0) << r.output;
    return testing_support::ReadFileBytes(base + ".der");
  }
};

const Authority& TheAuthority() {
  static const Authority authority;
  return authority;
}

TEST(Revocation, OcspAnswersAreCheckedBeforeTheyCount) {
  const Authority& authority = TheAuthority();
  const CertificateDetails ca = authority.Details(authority.ca), good = authority.Details(authority.good),
                           revoked = authority.Details(authority.revoked),
                           unknown = authority.Details(authority.unknown);
  const Bytes nonce(16, 0x5A);
  const int64_t now = std::time(nullptr);
  const Bytes delegated = authority.Answer(BuildOcspRequest(good, ca, nonce), authority.responder);
  Bytes tampered = delegated;
  tampered[tampered.size() - 300] ^= 1;  // inside the responder's certificate or the signature

  struct Case {
    const char* why;
    Bytes response;
    const CertificateDetails* cert;
    Bytes nonce;
    int64_t now;
    std::string error;  // empty: accepted
    bool revoked;
  } cases[] = {
      {"delegated responder", delegated, &good, nonce, now, "", false},
      {"signed by the authority itself",
       authority.Answer(BuildOcspRequest(good, ca, {}), authority.ca),
       &good,
       {},
       now,
       "",
       false},
      {"revoked", authority.Answer(BuildOcspRequest(revoked, ca, nonce), authority.responder), &revoked,
       nonce, now, "", true},
      {"a stranger's responder", authority.Answer(BuildOcspRequest(good, ca, nonce), authority.stranger),
       &good, nonce, now, "la firmo Ajeno, que no es un respondedor autorizado por Revocacion CA", false},
      {"answer to another request", delegated, &good, Bytes(16, 0x33), now,
       "no lleva el nonce de la peticion", false},
      {"about another certificate", delegated, &revoked, nonce, now, "no trae el estado de este certificado",
       false},
      {"unknown to the authority",
       authority.Answer(BuildOcspRequest(unknown, ca, nonce), authority.responder), &unknown, nonce, now,
       "el servicio no conoce el certificado", false},
      {"stale", delegated, &good, nonce, now + 3 * 86400, "esta caducada", false},
      {"from the future", delegated, &good, nonce, now - 86400, "su fecha es posterior a la actual", false},
      {"tampered", tampered, &good, nonce, now, "no", false},
      {"cut short", Bytes(delegated.begin(), delegated.begin() + 40), &good, nonce, now,
       "no es una respuesta OCSP legible", false},
      {"refused",
       {0x30, 0x03, 0x0A, 0x01, 0x06},
       &good,
       nonce,
       now,
       "el servicio respondio \"no autorizado\"",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const OcspCheck check = CheckOcspResponse(c.response, *c.cert, ca, c.nonce, c.now);
    EXPECT_EQ(check.ok, c.error.empty()) << check.error;
    if (!c.error.empty()) {
      EXPECT_NE(check.error.find(c.error), std::string::npos) << check.error;
    }
    EXPECT_EQ(check.revoked, c.revoked);
  }
  const OcspCheck check = CheckOcspResponse(
      authority.Answer(BuildOcspRequest(revoked, ca, nonce), authority.responder), revoked, ca, nonce, now);
  EXPECT_EQ(check.revocationTime, 1767225600);  // 2026-01-01 00:00:00 UTC
  EXPECT_EQ(CheckOcspResponse(delegated, good, ca, nonce, now).responder, authority.responder.certDer);
}

TEST(Revocation, ListsAreCheckedBeforeTheyCount) {
  const Authority& authority = TheAuthority();
  const CertificateDetails ca = authority.Details(authority.ca), other = authority.Details(authority.other),
                           good = authority.Details(authority.good),
                           revoked = authority.Details(authority.revoked);
  const int64_t now = std::time(nullptr);
  const Bytes list = authority.List(authority.ca);
  Bytes tampered = list;
  tampered[tampered.size() - 10] ^= 1;
  struct Case {
    const char* why;
    Bytes list;
    const CertificateDetails* cert;
    const CertificateDetails* issuer;
    int64_t now;
    std::string error;
    bool revoked;
  } cases[] = {
      {"not on the list", list, &good, &ca, now, "", false},
      {"on the list", list, &revoked, &ca, now, "", true},
      {"another authority's list", authority.List(authority.other), &good, &ca, now,
       "la emitio otra autoridad", false},
      {"the issuer is not the certificate's", list, &good, &other, now, "la emitio otra autoridad", false},
      {"tampered", tampered, &good, &ca, now, "su firma no verifica", false},
      {"stale", list, &good, &ca, now + 8 * 86400, "esta caducada", false},
      {"from the future", list, &good, &ca, now - 86400, "su fecha es posterior", false},
      {"cut short", Bytes(list.begin(), list.begin() + 30), &good, &ca, now, "no es una CRL legible", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const CrlCheck check = CheckCrl(c.list, *c.cert, *c.issuer, c.now);
    EXPECT_EQ(check.ok, c.error.empty()) << check.error;
    if (!c.error.empty()) {
      EXPECT_NE(check.error.find(c.error), std::string::npos) << check.error;
    }
    EXPECT_EQ(check.revoked, c.revoked);
    if (check.revoked) {
      EXPECT_EQ(check.revocationTime, 1767225600);
    }
  }
}

}  // namespace
