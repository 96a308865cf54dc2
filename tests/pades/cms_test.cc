#include <gtest/gtest.h>

#include "core/der.h"
#include "core/rsa.h"
#include "pades/cms.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;

namespace {

TEST(Cms, SignerKeyInfoFromCertificates) {
  const Bytes& der = Signer().certificate.der;
  auto info = ExtractSignerKeyInfo(der);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->modulusLength, 256u) << "the modulus INTEGER's leading zero is not counted";
  EXPECT_EQ(info->serial, (Bytes{0x02, 0x02, 0x03, 0xE9}));
  EXPECT_EQ(info->issuer[0], 0x30);

  // A long issuer name: the signingCertificateV2 attribute takes a two-byte length and still
  // sorts after messageDigest.
  testing_support::TestIdentity ca;
  ca.keyPem = Pki().dir() + "/largo-ca.key.pem";
  ca.certPem = Pki().dir() + "/largo-ca.crt.pem";
  const std::string subject =
      "/C=PE/O=" + std::string(60, 'O') + "/OU=" + std::string(60, 'U') + "/CN=Emisor";
  ASSERT_EQ(testing_support::RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + ca.keyPem +
                                        " -out " + ca.certPem + " -subj " + subject + " -days 30")
                .status,
            0);
  auto leaf = Pki().MakeLeaf(ca, "largo", "/CN=Emisor largo");
  auto longInfo = ExtractSignerKeyInfo(leaf.certDer);
  ASSERT_TRUE(longInfo);
  EXPECT_GT(longInfo->issuer.size(), 127u);
  Bytes attrs = BuildSignedAttributes(Bytes(32, 7), leaf.certDer, *longInfo);
  DerReader set(attrs.data(), attrs.size()), items;
  ASSERT_TRUE(set.Expect(0x31, &items));
  const Bytes oids[3] = {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03},
                         {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04},
                         {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x02, 0x2F}};
  for (const Bytes& oid : oids) {
    DerReader attribute, type;
    ASSERT_TRUE(items.Expect(0x30, &attribute));
    ASSERT_TRUE(attribute.Expect(0x06, &type));
    EXPECT_EQ(type.ToBytes(), oid);
  }
  EXPECT_TRUE(items.Empty());

  // Other key kinds and broken input fail.
  auto ec = Pki().MakeLeaf(ca, "ec", "/CN=EC", "-algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  EXPECT_FALSE(ExtractSignerKeyInfo(ec.certDer));
  EXPECT_FALSE(ExtractSignerKeyInfo(Bytes(der.begin(), der.begin() + 63)));
  Bytes cut(der.begin(), der.end() - 1);
  EXPECT_FALSE(ExtractSignerKeyInfo(cut));
}

TEST(Cms, SignatureCoversTheAttributesAsASet) {
  const Bytes& der = Signer().certificate.der;
  auto info = ExtractSignerKeyInfo(der);
  ASSERT_TRUE(info);
  Bytes attrs = BuildSignedAttributes(Bytes(32, 1), der, *info);
  Bytes signature = SignerKey().Sign(attrs);
  Bytes cms = BuildSignedData(der, *info, attrs, signature);
  // The [0]-tagged attributes inside the SignerInfo turn back into exactly the signed bytes.
  Bytes tagged = attrs;
  tagged[0] = 0xA0;
  auto at = std::search(cms.begin(), cms.end(), tagged.begin(), tagged.end());
  ASSERT_NE(at, cms.end());
  auto rsa = ExtractRsaPublicKey(der);
  ASSERT_TRUE(rsa);
  EXPECT_TRUE(VerifyRsaPkcs1Sha256(rsa->modulus, rsa->exponent, signature, attrs.data(), attrs.size()));
  // The trial build with zero placeholders has the final size.
  Bytes trial = BuildSignedData(der, *info, BuildSignedAttributes(Bytes(32, 0), der, *info),
                                Bytes(info->modulusLength, 0));
  EXPECT_EQ(trial.size(), cms.size());
}

}  // namespace
