// The DNIe source of the certificate list, through a private pcscd with a virtual card. Its
// own executable: the PC/SC client reads its socket name once per process.
#include <gtest/gtest.h>

#include <algorithm>

#include "certs/certificate_list.h"
#include "tests/support/pcscd_fixture.h"
#include "tests/support/softhsm.h"

using namespace testing_support;

namespace {

TEST(DnieSource, ListsTheCardBesideTheStoreAndSignsThroughIt) {
  PrivatePcscd::UsePrivateSocket();
  PrivatePcscd daemon({"Virtual Contact Reader"});
  SoftHsm hsm;
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  const DnieIdentities& ids = SharedDnieIdentities();
  auto card = MakeDnie(DnieGeneration::V3);
  ASSERT_TRUE(daemon.Insert(0, card.get()));
  // The card's own module would register its signature certificate in the store as well.
  hsm.InitToken("dnie", "12345678");
  hsm.Import("dnie", "12345678", ids.signature, Bytes{0x01}, std::nullopt);

  SignerOptions options;
  std::string status;
  std::vector<CertificateEntry> entries = ListCertificates(options, &status);
  EXPECT_EQ(status, "DNIe: 3 de firma | PKCS#11 (sistema): 1 certificado(s)");
  ASSERT_EQ(entries.size(), 4u);
  // DNIe entries first, in the card's reading order; then the store's copy.
  auto found = std::find_if(entries.begin(), entries.end(), [&](const CertificateEntry& entry) {
    return entry.der == ids.signature.certDer && entry.source == CertificateSource::DNIe;
  });
  ASSERT_NE(found, entries.end());
  const CertificateEntry& signature = *found;
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(entries[i].source, CertificateSource::DNIe);
  EXPECT_EQ(signature.displayName, "DNIe · ANA LUCIA QUISPE MAMANI FIR 44556677");
  EXPECT_EQ(signature.readerName, daemon.ReaderName(0));
  EXPECT_TRUE(signature.hasPrivateKey);
  EXPECT_EQ(entries[3].source, CertificateSource::WindowsStore);  // the same certificate, kept
  EXPECT_EQ(entries[3].der, ids.signature.certDer);

  const Bytes data = ToBytes("atributos firmados");
  Bytes result;
  std::string message;
  EXPECT_FALSE(SignWithCertificate(signature, options, data, &result, &message));
  EXPECT_EQ(message, "Se necesita el PIN de firma del DNIe.");
  options.pin = "12345678";
  EXPECT_TRUE(SignWithCertificate(signature, options, data, &result, &message)) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(result.size(), 256u);
  options.pin = "87654321";
  EXPECT_FALSE(SignWithCertificate(signature, options, data, &result, &message));
  EXPECT_EQ(message.rfind("PIN incorrecto: quedan 2 intento(s).", 0), 0u) << message;

  ASSERT_TRUE(daemon.Remove(0));
  entries = ListCertificates(SignerOptions(), &status);
  EXPECT_EQ(status.rfind("DNIe: ninguno (No hay tarjeta en el lector.", 0), 0u) << status;
}

}  // namespace
