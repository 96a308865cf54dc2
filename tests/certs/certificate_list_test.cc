#include "certs/certificate_list.h"

#include <gtest/gtest.h>

#include "tests/certs/cert_test_helpers.h"
#include "tests/support/softhsm.h"

using namespace testing_support;

namespace {

class CertificateList : public PeopleSuite {
 protected:
  static void SetUpTestSuite() {
    PeopleSuite::SetUpTestSuite();
    // An expired certificate: valid until yesterday.
    old_ = people_->pki.MakeLeaf(people_->ca, "old", "/C=PE/CN=Olga Vencida");
    std::string base = File("old");
    const TestIdentity& ca = people_->ca;
    CommandResult r = RunCommand(
        "openssl req -new -key " + Quote(old_.keyPem) + " -subj /CN=Olga\\ Vencida -out " +
        Quote(base + ".csr") + " && openssl x509 -req -in " + Quote(base + ".csr") + " -CA " +
        Quote(ca.certPem) + " -CAkey " + Quote(ca.keyPem) + " -set_serial 77 -days -1 -outform DER -out " +
        Quote(base + ".crt.der") + " && openssl x509 -inform DER -in " + Quote(base + ".crt.der") + " -out " +
        Quote(old_.certPem));
    ASSERT_EQ(r.status, 0) << r.output;
    old_.certDer = ReadFileBytes(base + ".crt.der");

    MakePkcs12(*beto_, "pw", File("beto.p12"));
    MakePkcs12(*ana_, "pw", File("ana.p12"));
    MakePkcs12(*ana_, "pw", File("ana-plain.p12"), true);
    MakePkcs12(*beto_, "pw", File("beto-plain.p12"), true);
    std::vector<Bytes> ana = Safes(ReadFileBytes(File("ana-plain.p12")));
    std::vector<Bytes> beto = Safes(ReadFileBytes(File("beto-plain.p12")));
    WriteFileBytes(File("foreign.p12"), JoinSafes({beto[0], ana[1]}));  // Beto's certificate, Ana's key
    WriteFileBytes(File("nokey.p12"), JoinSafes({beto[0]}));
  }

  // One token holding Ana's key and certificate and Olga's expired certificate.
  void MakeToken() {
    hsm_.InitToken("personal", "1234");
    hsm_.Import("personal", "1234", *ana_, Bytes{0x01}, Bytes{0x01});
    hsm_.Import("personal", "1234", old_, Bytes{0x02}, Bytes{0x02});
  }

  static inline TestIdentity old_;
  // No card reader is reachable: the DNIe source always says "sin lector".
  ScopedEnv pcsc_{"PCSCLITE_CSOCK_NAME", "/nonexistent/pcscd.comm"};
  PrivateTempFolder temp_;
  SoftHsm hsm_;
  const Bytes data_ = ToBytes("atributos firmados");
};

TEST_F(CertificateList, GathersSourcesWithoutDuplicatesValidFirst) {
  MakeToken();
  SignerOptions options;
  options.pkcs12Path = File("beto.p12");
  options.pkcs12Password = "pw";
  std::string status;
  std::vector<CertificateEntry> entries = ListCertificates(options, &status);
  EXPECT_EQ(status,
            "DNIe: sin lector | PKCS#11 (sistema): 2 certificado(s) | PKCS#12: 1 certificado(s) del PKCS#12");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].displayName, "PKCS#11 · Ana Quispe");
  EXPECT_EQ(entries[1].displayName, "PFX · beto.p12");
  EXPECT_EQ(entries[1].source, CertificateSource::Pkcs12);
  EXPECT_TRUE(entries[1].hasPrivateKey);
  EXPECT_EQ(entries[2].displayName, "PKCS#11 · Olga Vencida");  // expired, after the valid PKCS#12 one
  EXPECT_TRUE(IsExpired(entries[2]));

  // The token's certificate in the PKCS#12 file too: listed once, as the store's.
  options.pkcs12Path = File("ana.p12");
  entries = ListCertificates(options, &status);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].source, CertificateSource::WindowsStore);
  EXPECT_EQ(entries[0].der, ana_->certDer);
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

TEST_F(CertificateList, StatusSaysWhatEachSourceGave) {
  SignerOptions options;
  std::string status;
  EXPECT_TRUE(ListCertificates(options, &status).empty());
  EXPECT_EQ(status, "DNIe: sin lector | PKCS#11 (sistema): no hay ningun token PKCS#11 conectado.");

  options.pkcs12Path = File("missing.p12");
  ListCertificates(options, &status);
  EXPECT_EQ(status,
            "DNIe: sin lector | PKCS#11 (sistema): no hay ningun token PKCS#11 conectado. | PKCS#12: "
            "no existe el fichero " +
                File("missing.p12"));

  setenv("QUILLMARK_PKCS11_MODULE", "/nonexistent/libnada.so", 1);
  options.pkcs12Path = File("nokey.p12");
  options.pkcs12Password = "pw";
  std::vector<CertificateEntry> entries = ListCertificates(options, &status);
  EXPECT_EQ(status,
            "DNIe: sin lector | PKCS#11 (sistema): no se pudo cargar el modulo PKCS#11 "
            "/nonexistent/libnada.so. | PKCS#12: 1 certificado(s) del PKCS#12 (sin clave privada: el "
            "PKCS#12 no contiene ninguna clave privada.)");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].hasPrivateKey);
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

TEST_F(CertificateList, RoutesSignaturesAndChecksThemAgainstTheCertificate) {
  MakeToken();
  SignerOptions options;
  options.pin = "1234";
  options.pkcs12Path = File("foreign.p12");
  options.pkcs12Password = "pw";
  std::string status;
  std::vector<CertificateEntry> entries = ListCertificates(options, &status);
  ASSERT_EQ(entries.size(), 3u) << status;
  const CertificateEntry& store = entries[0];
  const CertificateEntry& foreign = entries[1];
  ASSERT_EQ(foreign.der, beto_->certDer);

  Bytes signature;
  std::string message;
  EXPECT_TRUE(SignWithCertificate(store, options, data_, &signature, &message)) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(signature.size(), 256u);

  // The file's key is Ana's, its certificate Beto's.
  EXPECT_FALSE(SignWithCertificate(foreign, options, data_, &signature, &message));
  EXPECT_EQ(message, "La clave que firmo no corresponde al certificado elegido (Beto Rojas).");
  EXPECT_TRUE(signature.empty());

  options.pkcs12Path = File("beto.p12");
  EXPECT_TRUE(SignWithCertificate(foreign, options, data_, &signature, &message)) << message;

  EXPECT_FALSE(SignWithCertificate(store, options, {}, &signature, &message));
  EXPECT_EQ(message, "No hay datos que firmar.");
  CertificateEntry broken = store;
  broken.parsed = false;
  EXPECT_FALSE(SignWithCertificate(broken, options, data_, &signature, &message));
  EXPECT_EQ(message, "El certificado elegido no es valido.");
  CertificateEntry card = store;
  card.source = CertificateSource::DNIe;
  options.pin.clear();
  EXPECT_FALSE(SignWithCertificate(card, options, data_, &signature, &message));
  EXPECT_EQ(message, "Se necesita el PIN de firma del DNIe.");
  CertificateEntry unknown = store;
  unknown.source = static_cast<CertificateSource>(9);
  EXPECT_FALSE(SignWithCertificate(unknown, options, data_, &signature, &message));
  EXPECT_EQ(message, "Origen de certificado desconocido.");
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

}  // namespace
