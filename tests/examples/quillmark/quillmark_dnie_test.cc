// quillmark with the DNIe: the real program against virtual cards in a private pcscd.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/pcscd_fixture.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const std::string kProgram = std::string(VY_BINARY_DIR) + "/bin/quillmark";
const char kNoService[] = "quillmark: Servicio PC/SC no disponible (servicio 'pcscd' detenido).\n";

class QuillmarkDnie : public testing::Test {
 protected:
  static void SetUpTestSuite() { PrivatePcscd::UsePrivateSocket(); }

  CommandResult Run(const std::string& arguments, const std::string& pin = "") {
    std::string environment = pin.empty() ? "" : "QM_PIN=" + Quote(pin) + " ";
    return RunCommand("cd " + Quote(work.path()) + " && " + environment + Quote(kProgram) + " " + arguments +
                      " </dev/null");
  }

  TempDir work;
  PrivatePcscd daemon{{"Virtual Contact Reader", "Virtual PICC Reader"}};
};

TEST_F(QuillmarkDnie, WithoutTheService) {
  for (auto [arguments, pin] : {std::pair<const char*, const char*>{"readers", ""},
                                {"certs --dnie", ""},
                                {"sign doc.pdf --dnie --pin-env QM_PIN", "12345678"}}) {
    SCOPED_TRACE(arguments);
    CommandResult r = Run(arguments, pin);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, kNoService);
  }
  EXPECT_TRUE(work.Entries().empty());
  CommandResult usage = Run("certs --reader 'Lector 00 00'");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.output.find("--reader acompaña a --dnie."), std::string::npos) << usage.output;
}

TEST_F(QuillmarkDnie, ReadersCertificatesAndSignatures) {
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  auto contact = MakeDnie(DnieGeneration::V2), picc = MakeDnie(DnieGeneration::V3, true);
  ASSERT_TRUE(daemon.Insert(0, contact.get()));
  ASSERT_TRUE(daemon.Insert(1, picc.get()));
  const std::string piccReader = daemon.ReaderName(1);

  CommandResult readers = Run("readers");
  ASSERT_EQ(readers.status, 0) << readers.output;
  EXPECT_EQ(Count(readers.output, "\n"), 4);
  EXPECT_NE(readers.output.find(
                ". Virtual Contact Reader 00 00 · contacto · ATR "
                "3BDC18FF8191FE1FC38073C821136605036351000250 · DNIe 2.0 RENIEC · predeterminado\n"),
            std::string::npos)
      << readers.output;
  EXPECT_NE(readers.output.find(". Virtual PICC Reader 00 00 · sin contacto · ATR 3B8F800180738421E0"),
            std::string::npos);
  EXPECT_NE(readers.output.find(". Virtual PICC Reader 00 01 · sin contacto · sin tarjeta\n"),
            std::string::npos);

  CommandResult certs = Run("certs --dnie");
  ASSERT_EQ(certs.status, 0) << certs.output;
  EXPECT_EQ(
      certs.output.rfind("1. DNIe · Firma Digital (DNIe) · ANA LUCIA QUISPE MAMANI FIR 44556677 · emisor: "
                         "ECEP-RENIEC-Pruebas · vence: ",
                         0),
      0u)
      << certs.output;
  EXPECT_NE(certs.output.find("\n2. DNIe · Autenticacion (DNIe) · "), std::string::npos);
  EXPECT_NE(certs.output.find("\n3. DNIe · Cifrado (DNIe) · "), std::string::npos);
  EXPECT_NE(
      certs.output.find("\nEstado: Virtual Contact Reader 00 00 · DNIe 2.0 RENIEC · 3 certificado(s) · "),
      std::string::npos);
  certs = Run("certs --dnie --reader " + Quote(piccReader));
  EXPECT_NE(certs.output.find("DNIe 3.0 RENIEC (NFC) · 3 certificado(s)"), std::string::npos) << certs.output;

  // A signed sample from the contact card, then a second signature through the air.
  CommandResult sample = Run("sample muestra.pdf --dnie --pin-env QM_PIN", "12345678");
  ASSERT_EQ(sample.status, 0) << sample.output;
  CommandResult sign =
      Run("sign muestra.pdf --dnie --reader " + Quote(piccReader) + " --pin-env QM_PIN", "12345678");
  ASSERT_EQ(sign.status, 0) << sign.output;
  EXPECT_NE(sign.output.find("Firmado: muestra_firmao.pdf"), std::string::npos) << sign.output;
  CommandResult check = RunCommand("pdfsig " + Quote(work.File("muestra_firmao.pdf")));
  EXPECT_EQ(Count(check.output, "Signature is Valid."), 2) << check.output;

  // A wrong PIN: the card's count in the message, one attempt spent, and no file.
  CommandResult wrong = Run("sign muestra.pdf --dnie --pin-env QM_PIN", "00000000");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.output.find("PIN incorrecto: quedan 2 intento(s)."), std::string::npos) << wrong.output;
  EXPECT_EQ(contact->retriesLeft(), 2);
  EXPECT_FALSE(FileExists(work.File("muestra_firmao2.pdf")));
}

TEST_F(QuillmarkDnie, BatchVerifiesThePinOnceAndStopsAtARefusal) {
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  auto card = MakeDnie(DnieGeneration::V3);
  ASSERT_TRUE(daemon.Insert(0, card.get()));
  ASSERT_EQ(RunCommand("cd " + Quote(work.path()) +
                       " && mkdir lote && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o lote/1.pdf -c "
                       "showpage && for n in 2 3 4 5; do cp lote/1.pdf lote/$n.pdf; done")
                .status,
            0);
  auto valid = [&](const std::string& folder) {
    int count = 0;
    for (int n = 1; n <= 5; ++n)
      count += Count(
          RunCommand("pdfsig " + Quote(work.File(folder + "/" + std::to_string(n) + "_firmao.pdf"))).output,
          "Signature is Valid.");
    return count;
  };

  // One VERIFY for the batch, then the security environment and the signature per document.
  card->ClearTrace();
  CommandResult r = Run("sign lote --out-dir firmados --dnie --pin-env QM_PIN", "12345678");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Count(r.output, "Firmado: firmados/"), 5) << r.output;
  EXPECT_EQ(card->CommandCount(0x20), 1);
  EXPECT_EQ(card->CommandCount(0x22), 5);
  EXPECT_EQ(card->CommandCount(0x2A), 5);
  EXPECT_EQ(valid("firmados"), 5);

  // A card that lets its security status lapse after the first signature answers 6982 to the
  // second: the kept PIN is verified once more and the batch goes on.
  card->faults.dropAfter = 1;
  card->ClearTrace();
  r = Run("sign lote --out-dir otra --dnie --pin-env QM_PIN", "12345678");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(card->CommandCount(0x20), 2);
  EXPECT_EQ(card->CommandCount(0x2A), 6);
  EXPECT_EQ(valid("otra"), 5);

  // A wrong PIN stops everything before a document is touched, and spends one attempt.
  card->ClearTrace();
  r = Run("sign lote --out-dir nada --dnie --pin-env QM_PIN", "00000000");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("quillmark: PIN incorrecto: quedan 2 intento(s).\n"), std::string::npos)
      << r.output;
  EXPECT_EQ(card->CommandCount(0x20), 1);
  EXPECT_EQ(card->CommandCount(0x2A), 0);
  EXPECT_EQ(card->retriesLeft(), 2);
  EXPECT_FALSE(FileExists(work.File("nada")));
  EXPECT_FALSE(FileExists(work.File("lote/1_firmao.pdf")));
}

}  // namespace
