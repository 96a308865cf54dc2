#include "certs/store.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/certs/cert_test_helpers.h"
#include "tests/support/softhsm.h"

using namespace testing_support;

namespace {

const char* const kWrongPin =
    "PKCS#11 no acepto el PIN para abrir la clave privada. Comprueba el PIN y que la tarjeta este conectada.";
const char* const kNoKey =
    "no se pudo abrir la clave privada de este certificado. Puede que la tarjeta que la guarda no este "
    "conectada, o que la clave este bloqueada: en ese caso escribe el PIN en el dialogo y vuelve a firmar.";

const CertificateEntry* Find(const std::vector<CertificateEntry>& entries, const Bytes& der) {
  for (const CertificateEntry& entry : entries)
    if (entry.der == der) return &entry;
  return nullptr;
}

class SystemStore : public PeopleSuite {
 protected:
  static void SetUpTestSuite() {
    PeopleSuite::SetUpTestSuite();
    carla_ = people_->pki.MakeLeaf(people_->ca, "carla", "/C=PE/O=Sin Nombre SAC");
    ec_ = people_->pki.MakeLeaf(people_->ca, "ec", "/C=PE/CN=Eva Curva",
                                "-algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  }

  // Two tokens: "personal" (PIN 1234) holds Ana's private key and certificate, an EC
  // certificate, and Carla's key filed under an id other than her certificate's; "publico"
  // (PIN 5678) holds Beto's key, readable without login.
  void MakeTokens() {
    hsm_.InitToken("personal", "1234");
    hsm_.InitToken("publico", "5678");
    hsm_.Import("personal", "1234", *ana_, Bytes{0x01}, Bytes{0x01});
    hsm_.Import("personal", "1234", ec_, Bytes{0x02}, std::nullopt);
    hsm_.Import("personal", "1234", carla_, Bytes{0x0B}, Bytes{0x0A});
    hsm_.Import("publico", "5678", *beto_, Bytes{0x03}, Bytes{0x03}, /*keyPrivate=*/false);
  }

  static inline TestIdentity carla_, ec_;
  SoftHsm hsm_;
  const Bytes data_ = ToBytes("atributos firmados");
};

TEST_F(SystemStore, ListsRsaCertificatesOfEveryTokenWithTheirKeyProbe) {
  MakeTokens();
  std::vector<CertificateEntry> entries;
  std::string message;
  ListSystemCertificates(&entries, &message);
  EXPECT_EQ(message, "3 certificado(s)");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(Find(entries, ec_.certDer), nullptr);

  const CertificateEntry* ana = Find(entries, ana_->certDer);
  ASSERT_NE(ana, nullptr);
  EXPECT_EQ(ana->source, CertificateSource::WindowsStore);
  EXPECT_EQ(ana->displayName, "PKCS#11 · Ana Quispe");
  EXPECT_TRUE(ana->parsed);
  EXPECT_TRUE(ana->hasPrivateKey);
  EXPECT_TRUE(ana->keyNeedsInteraction);  // the key is private to a logged-in user

  const CertificateEntry* beto = Find(entries, beto_->certDer);
  ASSERT_NE(beto, nullptr);
  EXPECT_TRUE(beto->hasPrivateKey);
  EXPECT_FALSE(beto->keyNeedsInteraction);

  const CertificateEntry* carla = Find(entries, carla_.certDer);
  ASSERT_NE(carla, nullptr);
  EXPECT_EQ(carla->displayName, "PKCS#11 · C=PE, O=Sin Nombre SAC");
}

TEST_F(SystemStore, SignsWithTheCertificatesKey) {
  MakeTokens();
  std::string error;
  Bytes signature = SignWithSystemKey(ana_->certDer, data_, "1234", false, &error);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(Verifies(ana_->certDer, signature, data_));

  // A key visible without login signs without a PIN.
  signature = SignWithSystemKey(beto_->certDer, data_, "", false, &error);
  EXPECT_TRUE(Verifies(beto_->certDer, signature, data_)) << error;

  // Carla's key has another id: it is found by its modulus.
  signature = SignWithSystemKey(carla_.certDer, data_, "1234", true, &error);
  EXPECT_TRUE(Verifies(carla_.certDer, signature, data_)) << error;
}

TEST_F(SystemStore, LooksForTheKeyInEveryTokenThatHoldsTheCertificate) {
  // Whichever order the slots come in, the token without the key does not end the search.
  hsm_.InitToken("copia", "1234");
  hsm_.Import("copia", "1234", *ana_, Bytes{0x07}, std::nullopt);
  MakeTokens();
  std::string error;
  Bytes signature = SignWithSystemKey(ana_->certDer, data_, "1234", false, &error);
  EXPECT_TRUE(Verifies(ana_->certDer, signature, data_)) << error;
}

TEST_F(SystemStore, RefusalsHaveClearMessages) {
  MakeTokens();
  std::string error;
  EXPECT_TRUE(SignWithSystemKey(ana_->certDer, data_, "9999", true, &error).empty());
  EXPECT_EQ(error, kWrongPin);
  EXPECT_TRUE(SignWithSystemKey(ana_->certDer, data_, "", true, &error).empty());
  EXPECT_EQ(error, kNoKey);  // the token has no keypad: without a PIN the key stays hidden
  EXPECT_TRUE(SignWithSystemKey(ec_.certDer, data_, "1234", true, &error).empty());
  EXPECT_EQ(error, "PKCS#11 no pudo cargar el certificado.");
  EXPECT_TRUE(SignWithSystemKey({}, data_, "1234", true, &error).empty());
  EXPECT_EQ(error, "no hay el DER del certificado.");

  // A certificate that no token holds: no token is given the PIN.
  TestPki pki(people_->dir.path());
  TestIdentity stranger = pki.MakeLeaf(pki.MakeCa("Otra CA"), "stranger", "/CN=Desconocido");
  EXPECT_TRUE(SignWithSystemKey(stranger.certDer, data_, "1234", true, &error).empty());
  EXPECT_EQ(error, kNoKey);
}

TEST_F(SystemStore, NoModule) {
  setenv("QUILLMARK_PKCS11_MODULE", "/nonexistent/libnada.so", 1);
  std::string error;
  EXPECT_TRUE(SignWithSystemKey(ana_->certDer, data_, "1234", true, &error).empty());
  EXPECT_EQ(error, "no se pudo cargar el modulo PKCS#11 /nonexistent/libnada.so.");
}

TEST_F(SystemStore, ReachesTokensThroughTheP11KitProxy) {
  if (!FileExists("/usr/share/p11-kit/modules/softhsm2.module"))
    GTEST_SKIP() << "softhsm2 not registered with p11-kit";
  MakeTokens();
  unsetenv("QUILLMARK_PKCS11_MODULE");
  std::vector<CertificateEntry> entries;
  std::string message;
  ListSystemCertificates(&entries, &message);
  EXPECT_NE(Find(entries, ana_->certDer), nullptr) << message;
  std::string error;
  Bytes signature = SignWithSystemKey(ana_->certDer, data_, "1234", false, &error);
  EXPECT_TRUE(Verifies(ana_->certDer, signature, data_)) << error;
}

}  // namespace
