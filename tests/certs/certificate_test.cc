#include "certs/certificate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/text.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class CertificateModel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    pki_ = new TestPki(dir_->path());
    ca_ = new TestIdentity(pki_->MakeCa("Quillmark CA"));
  }
  static void TearDownTestSuite() {
    delete ca_;
    delete pki_;
    delete dir_;
  }
  static inline TempDir* dir_;
  static inline TestPki* pki_;
  static inline TestIdentity* ca_;
};

TEST_F(CertificateModel, DecodesCaAndEndEntity) {
  ParsedCertificate ca;
  ASSERT_TRUE(ParseCertificateExact(ca_->certDer, &ca));
  EXPECT_TRUE(ca.parsed);
  EXPECT_TRUE(ca.isCa);
  EXPECT_EQ(ca.subjectName, "C=PE, O=Quillmark Pruebas, CN=Quillmark CA");
  EXPECT_EQ(ca.subjectCommonName, "Quillmark CA");
  EXPECT_EQ(ca.issuerCommonName, "Quillmark CA");
  EXPECT_EQ(CertificateLabel(ca, "FIR"), "Certificado CA emisor");

  TestIdentity leaf = pki_->MakeLeaf(
      *ca_, "leaf", "/C=PE/serialNumber=PNOPE-12345678/GN=Ana/SN=Qui\xC3\xB1ones/CN=Ana Qui\xC3\xB1ones");
  ParsedCertificate cert;
  ASSERT_TRUE(ParseCertificateExact(leaf.certDer, &cert));
  EXPECT_FALSE(cert.isCa);
  EXPECT_EQ(cert.der, leaf.certDer);
  EXPECT_EQ(cert.subjectCommonName, "Ana Qui\xC3\xB1ones");
  EXPECT_EQ(
      cert.subjectName,
      "C=PE, SERIALNUMBER=PNOPE-12345678, GIVENNAME=Ana, SURNAME=Qui\xC3\xB1ones, CN=Ana Qui\xC3\xB1ones");
  EXPECT_EQ(cert.issuerName, "C=PE, O=Quillmark Pruebas, CN=Quillmark CA");
  EXPECT_EQ(cert.serialHex, "03E9");  // 1001
  EXPECT_EQ(cert.notAfter - cert.notBefore, 730 * 86400);
  EXPECT_FALSE(IsExpired(cert));
  EXPECT_EQ(FormatExpiry(cert).size(), 19u);
  // digitalSignature + nonRepudiation is 03 02 06 C0: six unused bits leave the flag clear.
  EXPECT_FALSE(cert.signatureUsage);
  EXPECT_EQ(CertificateLabel(cert, ""), "Certificado DNIe");
  EXPECT_EQ(CertificateLabel(cert, "FIR"), "FIR");

  auto key = ExtractRsaPublicKey(cert.der);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->modulus.size(), 256u);
  EXPECT_EQ(key->exponent, (Bytes{1, 0, 1}));
}

TEST_F(CertificateModel, SubjectsWithoutCnAndOtherAttributes) {
  TestIdentity noCn = pki_->MakeLeaf(*ca_, "nocn", "/C=PE/serialNumber=20100000001/O=Empresa SAC");
  ParsedCertificate cert;
  ASSERT_TRUE(ParseCertificate(noCn.certDer, &cert));
  EXPECT_EQ(cert.subjectCommonName, "C=PE, SERIALNUMBER=20100000001, O=Empresa SAC");

  TestIdentity orgId =
      pki_->MakeLeaf(*ca_, "orgid", "/C=PE/organizationIdentifier=VATPE-20100000001/CN=Sello");
  ASSERT_TRUE(ParseCertificate(orgId.certDer, &cert));
  EXPECT_EQ(cert.subjectName, "C=PE, OID.55.04.61=VATPE-20100000001, CN=Sello");
}

TEST_F(CertificateModel, KeyUsageAndEcKeys) {
  ParsedCertificate cert;
  TestIdentity auth =
      pki_->MakeLeaf(*ca_, "auth", "/CN=Solo Autenticacion", "-algorithm RSA -pkeyopt rsa_keygen_bits:1024",
                     "keyUsage=critical,digitalSignature");  // 03 02 07 80
  ASSERT_TRUE(ParseCertificate(auth.certDer, &cert));
  EXPECT_FALSE(cert.signatureUsage);
  EXPECT_EQ(CertificateLabel(cert, ""), "Certificado DNIe");

  TestIdentity ec =
      pki_->MakeLeaf(*ca_, "ec", "/CN=Clave EC", "-algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  ASSERT_TRUE(ParseCertificate(ec.certDer, &cert));
  EXPECT_TRUE(cert.parsed);
  EXPECT_FALSE(ExtractRsaPublicKey(cert.der).has_value());
}

TEST_F(CertificateModel, FindsCertificateInsidePaddedCardFile) {
  for (uint8_t pad : {0x00, 0xFF}) {
    SCOPED_TRACE(int(pad));
    Bytes file = ca_->certDer;
    file.insert(file.end(), 700, pad);
    ParsedCertificate cert;
    ASSERT_TRUE(ParseCertificate(file, &cert));
    EXPECT_EQ(cert.der, ca_->certDer);
    // Bytes in front of it too.
    Bytes prefixed = {0x01, 0x30, 0x03, 0x02, 0x01, 0x00, 0x30, 0x82};
    prefixed.insert(prefixed.end(), file.begin(), file.end());
    ASSERT_TRUE(ParseCertificate(prefixed, &cert));
    EXPECT_EQ(cert.der, ca_->certDer);
  }
}

TEST(CertificateDecoder, RejectsGarbageAndTruncation) {
  ParsedCertificate cert;
  cert.subjectName = "stale";
  Bytes small(63, 0x30);
  EXPECT_FALSE(ParseCertificate(small, &cert));
  EXPECT_TRUE(cert.subjectName.empty());
  Bytes noise(5000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7919 % 251 == 3 ? 0x30 : i);
  EXPECT_FALSE(ParseCertificate(noise, &cert));
  EXPECT_FALSE(cert.parsed);
  EXPECT_EQ(FormatExpiry(cert), "--/--/-------- --:--:--");
  EXPECT_FALSE(IsExpired(cert));
  EXPECT_FALSE(ExtractRsaPublicKey(noise).has_value());
}

// Hand-built tbsCertificate pieces exercise the time and keyUsage rules directly.
Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out = {tag};
  if (content.size() < 128) {
    out.push_back(uint8_t(content.size()));
  } else {
    out.push_back(0x82);
    out.push_back(uint8_t(content.size() >> 8));
    out.push_back(uint8_t(content.size()));
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Name(const std::string& cn) {
  return Tlv(0x30, Tlv(0x31, Tlv(0x30, Cat({HexDecode("0603550403"), Tlv(0x0C, ToBytes(cn))}))));
}
Bytes HandMade(const Bytes& notBefore, const Bytes& notAfter, const Bytes& keyUsage,
               const Bytes& subject = Name("Titular")) {
  Bytes spki = Tlv(
      0x30, Cat({Tlv(0x30, HexDecode("06092A864886F70D0101010500")),
                 Tlv(0x03, Cat({Bytes{0},
                                Tlv(0x30, Cat({Tlv(0x02, Bytes(64, 0xC3)), Tlv(0x02, Bytes{1, 0, 1})}))}))}));
  Bytes ext = Tlv(0xA3, Tlv(0x30, Tlv(0x30, Cat({HexDecode("0603551D0F"), Tlv(0x04, keyUsage)}))));
  Bytes tbs =
      Tlv(0x30, Cat({HexDecode("A003020102"), Tlv(0x02, Bytes{0x00, 0x9A}), Tlv(0x30, HexDecode("0500")),
                     Name("Emisor"), Tlv(0x30, Cat({notBefore, notAfter})), subject, spki, ext}));
  return Tlv(0x30, Cat({tbs, Tlv(0x30, HexDecode("0500")), Tlv(0x03, Bytes{0, 1, 2})}));
}

TEST(CertificateDecoder, TimesAndKeyUsageBits) {
  ParsedCertificate cert;
  Bytes ku = HexDecode("03020640");
  ASSERT_TRUE(ParseCertificateExact(
      HandMade(Tlv(0x17, ToBytes("491231235959Z")), Tlv(0x17, ToBytes("500101000000Z")), ku), &cert));
  EXPECT_EQ(cert.serialHex, "009A");
  EXPECT_EQ(cert.notBefore, int32_t(2524607999u));  // 2049-12-31 23:59:59, wrapped to 32 bits
  EXPECT_EQ(cert.notAfter, -631152000);             // 1950-01-01
  EXPECT_FALSE(cert.signatureUsage) << "unused bits 6";
  EXPECT_FALSE(IsExpired(cert));
  EXPECT_EQ(FormatExpiry(cert), "--/--/-------- --:--:--");

  ASSERT_TRUE(ParseCertificateExact(HandMade(Tlv(0x18, ToBytes("20240229120000Z")),
                                             Tlv(0x17, ToBytes("2001010000Z")), HexDecode("03020040")),
                                    &cert));
  EXPECT_EQ(cert.notBefore, 1709208000);
  EXPECT_EQ(cert.notAfter, 1577836800);  // 2020-01-01: a short UTCTime has no time of day
  EXPECT_TRUE(cert.signatureUsage);
  EXPECT_TRUE(IsExpired(cert));

  ASSERT_TRUE(ParseCertificateExact(
      HandMade(Tlv(0x17, ToBytes("241301000000Z")), Tlv(0x05, {}), HexDecode("03020180")), &cert));
  EXPECT_EQ(cert.notBefore, 0) << "month 13";
  EXPECT_EQ(cert.notAfter, 0) << "not a time";
  EXPECT_TRUE(cert.signatureUsage);
  auto key = ExtractRsaPublicKey(cert.der);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->modulus, Bytes(64, 0xC3));
}

TEST(CertificateDecoder, NameStringTypesAndStructure) {
  auto attribute = [](const char* oidHex, uint8_t tag, const Bytes& value) {
    return Tlv(0x30, Cat({Tlv(0x06, HexDecode(oidHex)), Tlv(tag, value)}));
  };
  // BMPString "Ñandú" plus U+1F600 as a surrogate pair, and a NUL unit that is dropped.
  Bytes bmp = HexDecode("00D1 0061 006E 0064 00FA 0000 D83D DE00");
  Bytes universal = HexDecode("00000050 00000045");  // "PE"
  Bytes subject = Tlv(
      0x30,
      Cat({Tlv(0x31, Cat({attribute("550406", 0x1C, universal), attribute("55040A", 0x13, ToBytes("Org"))})),
           Tlv(0x02, Bytes{1}),  // not a SET: skipped
           Tlv(0x31, attribute("2B0601040182371402020304050607", 0x0C, ToBytes("x"))),
           Tlv(0x31, attribute("550403", 0x0C, Bytes{})),  // empty CN is not the common name
           Tlv(0x31, attribute("550403", 0x1E, bmp))}));
  ParsedCertificate cert;
  ASSERT_TRUE(
      ParseCertificateExact(HandMade(Tlv(0x17, ToBytes("260101000000Z")), Tlv(0x17, ToBytes("270101000000Z")),
                                     HexDecode("03020040"), subject),
                            &cert));
  const std::string nandu =
      "\xC3\x91"
      "and\xC3\xBA\xF0\x9F\x98\x80";
  EXPECT_EQ(cert.subjectName, "C=PE, O=Org, OID.2B.06.01.04.01.82.37.14.02.02.03.04=x, CN=, CN=" + nandu);
  EXPECT_EQ(cert.subjectCommonName, nandu);
  EXPECT_EQ(cert.issuerCommonName, "Emisor");
}

// Every certificate Debian ships must decode to what openssl reports.
TEST(CertificateDecoder, MatchesOpensslOnSystemBundle) {
  std::ifstream bundle("/etc/ssl/certs/ca-certificates.crt");
  if (!bundle) GTEST_SKIP() << "ca-certificates not installed";
  std::stringstream all;
  all << bundle.rdbuf();
  const std::string text = all.str();
  const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";

  // Our own DER from the PEM blocks; openssl's view of each block from one shell loop.
  TempDir dir;
  std::vector<Bytes> ders;
  for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
    size_t stop = text.find(end, at);
    ASSERT_NE(stop, std::string::npos);
    Bytes der;
    ASSERT_TRUE(Base64Decode(text.substr(at + begin.size(), stop - at - begin.size()), &der));
    WriteFileText(dir.File("c" + std::to_string(ders.size()) + ".pem"),
                  text.substr(at, stop + end.size() - at) + "\n");
    ders.push_back(der);
  }
  ASSERT_GT(ders.size(), 100u);
  CommandResult info =
      RunCommand("cd " + Quote(dir.path()) + " && i=0; while [ -e c$i.pem ]; do echo \"== $i\";" +
                 " openssl x509 -in c$i.pem -noout -serial -nameopt multiline,utf8,-esc_msb" +
                 " -subject -modulus || true; i=$((i+1)); done");
  ASSERT_EQ(info.status, 0);

  int rsa = 0;
  size_t section = 0;
  for (size_t i = 0; i < ders.size(); ++i) {
    section = info.output.find("== " + std::to_string(i) + "\n", section);
    ASSERT_NE(section, std::string::npos);
    size_t next = info.output.find("\n== ", section + 1);
    const std::string out =
        info.output.substr(section, next == std::string::npos ? std::string::npos : next - section);
    auto valueAfter = [&](const std::string& key) -> std::string {
      size_t pos = out.find(key);
      if (pos == std::string::npos) return "";
      pos += key.size();
      return out.substr(pos, out.find('\n', pos) - pos);
    };
    ParsedCertificate cert;
    ASSERT_TRUE(ParseCertificateExact(ders[i], &cert)) << i;
    SCOPED_TRACE(cert.subjectName);
    EXPECT_EQ(cert.der, ders[i]);
    std::string serial = cert.serialHex;
    while (serial.size() > 2 && serial.rfind("00", 0) == 0) serial.erase(0, 2);
    EXPECT_EQ(serial, valueAfter("serial="));
    size_t cn = out.find("commonName");
    if (cn != std::string::npos) {
      size_t value = out.find("= ", cn) + 2;
      EXPECT_EQ(cert.subjectCommonName, out.substr(value, out.find('\n', value) - value));
    }
    std::string modulus = valueAfter("Modulus=");
    if (!modulus.empty() && modulus.find("No modulus") == std::string::npos) {
      ++rsa;
      auto key = ExtractRsaPublicKey(cert.der);
      ASSERT_TRUE(key.has_value());
      EXPECT_EQ(HexEncode(key->modulus), modulus);
    } else {
      EXPECT_FALSE(ExtractRsaPublicKey(cert.der).has_value());
    }
  }
  EXPECT_GT(rsa, 50);
}

}  // namespace
