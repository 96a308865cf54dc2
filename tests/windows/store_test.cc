// The Personal store under Wine: PKCS#12 files imported as a user would, listed with their key
// probe, and signatures made by Wine's CryptoAPI provider checked with the certificate's key.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include "certs/store.h"
#include "core/rsa.h"
#include "tests/windows/fixtures.h"

namespace {

const char* const kNoKey =
    "no se pudo abrir la clave privada de este certificado. Puede que la tarjeta que la guarda no este "
    "conectada, o que la clave este bloqueada: en ese caso escribe el PIN en el dialogo y vuelve a firmar.";

// Wine 8's import records the key's dwKeySpec as 3, which no provider signs with; Windows
// records the exchange key (1) that the file's key becomes.
void FileKeyAsWindowsDoes(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return;
  std::vector<BYTE> buffer(size);
  auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data());
  ASSERT_TRUE(CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, info, &size));
  if (info->dwKeySpec == AT_KEYEXCHANGE || info->dwKeySpec == AT_SIGNATURE) return;
  info->dwKeySpec = AT_KEYEXCHANGE;
  ASSERT_TRUE(CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, info));
}

// ImportPkcs12 puts every certificate of the file, with its key, into the user's "MY" store.
void ImportPkcs12(const std::string& name, const wchar_t* password) {
  Bytes pfx = wine_fixtures::Read(name);
  ASSERT_FALSE(pfx.empty()) << name;
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(pfx.size()), pfx.data()};
  HCERTSTORE imported = PFXImportCertStore(&blob, password, CRYPT_USER_KEYSET);
  ASSERT_NE(imported, nullptr) << name << ": " << GetLastError();
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  ASSERT_NE(my, nullptr);
  int added = 0;
  for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(imported, nullptr); cert;
       cert = CertEnumCertificatesInStore(imported, cert)) {
    FileKeyAsWindowsDoes(cert);
    added += CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) ? 1 : 0;
  }
  EXPECT_GT(added, 0) << name;
  CertCloseStore(my, 0);
  CertCloseStore(imported, 0);
}

// AddCertificate files a certificate without any key, or with a key record that names a
// smart card's container, as a card's minidriver does, for a card that is not there.
void AddCertificate(const Bytes& der, bool onAbsentCard = false) {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  ASSERT_NE(my, nullptr);
  PCCERT_CONTEXT cert = nullptr;
  EXPECT_TRUE(CertAddEncodedCertificateToStore(my, X509_ASN_ENCODING, der.data(),
                                               static_cast<DWORD>(der.size()),
                                               CERT_STORE_ADD_REPLACE_EXISTING, &cert));
  if (cert && onAbsentCard) {
    CRYPT_KEY_PROV_INFO card = {};
    card.pwszContainerName = const_cast<wchar_t*>(L"tarjeta-ausente-0001");
    card.pwszProvName = const_cast<wchar_t*>(L"Microsoft Base Smart Card Crypto Provider");
    card.dwProvType = PROV_RSA_FULL;
    card.dwKeySpec = AT_SIGNATURE;
    EXPECT_TRUE(CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &card));
  }
  if (cert) CertFreeCertificateContext(cert);
  CertCloseStore(my, 0);
}

void RemoveCertificate(const Bytes& der) {
  // The registry store itself: Wine forgets a deletion made through the "MY" collection.
  HCERTSTORE my =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  ASSERT_NE(my, nullptr);
  bool removed = false;
  for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(my, nullptr); cert;
       cert = CertEnumCertificatesInStore(my, cert)) {
    if (Bytes(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded) != der) continue;
    // Deleting frees the context it is given, so the enumeration gets a copy and ends here.
    removed = CertDeleteCertificateFromStore(CertDuplicateCertificateContext(cert));
    CertFreeCertificateContext(cert);
    break;
  }
  EXPECT_TRUE(removed);
  CertCloseStore(my, 0);
}

const CertificateEntry* Find(const std::vector<CertificateEntry>& entries, const Bytes& der) {
  for (const CertificateEntry& entry : entries)
    if (entry.der == der) return &entry;
  return nullptr;
}

class WindowsStore : public ::testing::Test {
 protected:
  // Wine's PKCS#12 import takes RSA keys only, so the EC certificate is filed without its key.
  static void SetUpTestSuite() {
    ImportPkcs12("ana.p12", L"clave de prueba");
    AddCertificate(wine_fixtures::Read("ec.der"));
    AddCertificate(wine_fixtures::Read("ca.der"));
    AddCertificate(wine_fixtures::Read("beto.der"), /*onAbsentCard=*/true);
  }
  // Ana's stays: scripts/wine-services signs with it next.
  static void TearDownTestSuite() { RemoveCertificate(wine_fixtures::Read("beto.der")); }
  const Bytes ana_ = wine_fixtures::Read("ana.der");
  const Bytes ec_ = wine_fixtures::Read("ec.der");
  const Bytes ca_ = wine_fixtures::Read("ca.der");
};

TEST_F(WindowsStore, ListsRsaCertificatesWithTheirKeyProbe) {
  std::vector<CertificateEntry> entries;
  std::string message;
  ListSystemCertificates(&entries, &message);
  EXPECT_EQ(message, "3 certificado(s)");
  EXPECT_EQ(Find(entries, ec_), nullptr);

  const CertificateEntry* ana = Find(entries, ana_);
  ASSERT_NE(ana, nullptr);
  EXPECT_EQ(ana->displayName, "Windows · Ana Quispe Prueba");
  EXPECT_EQ(ana->source, CertificateSource::WindowsStore);
  EXPECT_TRUE(ana->hasPrivateKey);
  EXPECT_FALSE(ana->keyNeedsInteraction);

  const CertificateEntry* ca = Find(entries, ca_);
  ASSERT_NE(ca, nullptr);
  EXPECT_FALSE(ca->hasPrivateKey);

  const CertificateEntry* beto = Find(entries, wine_fixtures::Read("beto.der"));
  ASSERT_NE(beto, nullptr);
  EXPECT_TRUE(beto->hasPrivateKey);
  EXPECT_TRUE(beto->keyNeedsInteraction);
}

TEST_F(WindowsStore, SignaturesVerifyWithTheCertificatesKeyAndFailuresSayWhy) {
  const Bytes data = ToBytes("atributos firmados");
  const std::optional<RsaPublicKey> key = ExtractRsaPublicKey(ana_);
  ASSERT_TRUE(key);
  std::string error;
  // CryptoAPI hands its signature over little-endian: it verifies only if turned around.
  for (bool allowPrompt : {false, true}) {
    Bytes signature = SignWithSystemKey(ana_, data, "", allowPrompt, &error);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(VerifyRsaPkcs1Sha256(key->modulus, key->exponent, signature, data.data(), data.size()));
  }
  Bytes voting = SignWithSystemKeyForVoting(ana_, data, &error);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(VerifyRsaPkcs1Sha256(key->modulus, key->exponent, voting, data.data(), data.size()));

  struct Case {
    Bytes der;
    const char* signer;
    const char* voting;
  } cases[] = {
      {{}, "no hay el DER del certificado.", "no hay el DER del certificado."},
      {ToBytes("no es un certificado"), "Windows no pudo cargar el certificado.",
       "Windows no pudo cargar el certificado."},
      {ca_, kNoKey, "el certificado no tiene clave privada en Windows (no esta en el almacen Personal)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signer);
    EXPECT_TRUE(SignWithSystemKey(c.der, data, "", false, &error).empty());
    EXPECT_EQ(error, c.signer);
    EXPECT_TRUE(SignWithSystemKeyForVoting(c.der, data, &error).empty());
    EXPECT_EQ(error, c.voting);
  }
}

}  // namespace
