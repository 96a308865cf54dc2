#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "card/dnie_certificates.h"
#include "card/dnie_sign.h"
#include "card/pcsc.h"
#include "certs/dnie_source.h"
#include "core/text.h"
#include "tests/certs/cert_test_helpers.h"
#include "tests/support/pcscd_fixture.h"

namespace {

using namespace testing_support;

const char kContact[] = "Virtual Contact Reader 00 00";
const char kNoService[] = "Servicio PC/SC no disponible (servicio 'pcscd' detenido).";

class PcscdTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { PrivatePcscd::UsePrivateSocket(); }
  PrivatePcscd daemon{{"Virtual Contact Reader", "Virtual PICC Reader"}};
  Bytes data = ToBytes("atributos firmados");
};

TEST_F(PcscdTest, WithoutTheServiceAndWithEmptyReaders) {
  std::string message, status, atr;
  EXPECT_TRUE(ListReaders(&message).empty());
  EXPECT_EQ(message, kNoService);
  EXPECT_TRUE(ReadCardCertificates(kContact, &status, &atr).empty());
  EXPECT_EQ(status, kNoService);
  EXPECT_FALSE(CheckCardPin(kContact, "12345678", &message));
  EXPECT_EQ(message, kNoService);
  EXPECT_TRUE(
      SignWithDnie(kContact, SharedDnieIdentities().signature.certDer, data, "12345678", &message).empty());
  EXPECT_EQ(message.rfind(std::string(kNoService) + " | ", 0), 0u) << message;

  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  std::vector<std::string> readers = ListReaders(&message);
  EXPECT_EQ(message, "");
  // The daemon lists its readers in no fixed order; each vpcd reader has a second, empty slot.
  std::vector<std::string> sorted = readers;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"Virtual Contact Reader 00 00", "Virtual Contact Reader 00 01",
                                              "Virtual PICC Reader 00 00", "Virtual PICC Reader 00 01"}));
  ASSERT_GE(DefaultReaderIndex(readers), 0);
  EXPECT_EQ(readers[DefaultReaderIndex(readers)], kContact);
  EXPECT_EQ(ClassifyReader("Virtual PICC Reader 00 00"), ReaderKind::Contactless);
  EXPECT_EQ(ReadReaderAtr(kContact), "");
  EXPECT_TRUE(ReadCardCertificates(kContact, &status, &atr).empty());
  EXPECT_EQ(status, "No hay tarjeta en el lector. Acerque el DNIe y pulse Actualizar.");
  EXPECT_TRUE(ReadCardCertificates("Lector que no existe", &status, &atr).empty());
  EXPECT_EQ(status, "Lector no disponible.");
}

TEST_F(PcscdTest, EveryGenerationThroughTheDaemon) {
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  const DnieIdentities& ids = SharedDnieIdentities();
  const std::string contactReader = daemon.ReaderName(0), piccReader = daemon.ReaderName(1);
  for (DnieGeneration generation : {DnieGeneration::V1, DnieGeneration::V2, DnieGeneration::V3}) {
    SCOPED_TRACE(int(generation));
    auto contact = MakeDnie(generation), picc = MakeDnie(generation, true);
    ASSERT_TRUE(daemon.Insert(0, contact.get()));
    ASSERT_TRUE(daemon.Insert(1, picc.get()));
    EXPECT_EQ(ReadReaderAtr(contactReader), HexEncode(contact->atr()));

    // The daemon passes the same commands as the in-process card gets.
    std::string status, atr, localStatus, localAtr;
    contact->ClearTrace();
    std::vector<CardCertificate> certs = ReadCardCertificates(contactReader, &status, &atr);
    ASSERT_EQ(certs.size(), 3u) << status;
    EXPECT_EQ(atr, HexEncode(contact->atr()));
    auto local = MakeDnie(generation);
    VirtualConnector connector;
    connector.Insert(contactReader, local.get());
    ReadCardCertificates(connector, contactReader, &localStatus, &localAtr);
    EXPECT_EQ(contact->CommandsHex(), local->CommandsHex());
    EXPECT_EQ(status, localStatus);

    certs = ReadCardCertificates(piccReader, &status, &atr);
    ASSERT_EQ(certs.size(), 3u) << status;
    EXPECT_NE(status.find(" (NFC) · 3 certificado(s)"), std::string::npos) << status;

    std::string message;
    Bytes signature = SignWithDnie(contactReader, ids.signature.certDer, data, "12345678", &message);
    EXPECT_TRUE(Verifies(ids.signature.certDer, signature, data)) << message;
    EXPECT_EQ(message.rfind("Firmado por APDU con el PIN del DNIe (256 byte(s), ", 0), 0u);
    EXPECT_TRUE(SignWithDnie(piccReader, ids.signature.certDer, data, "00000000", &message).empty());
    EXPECT_EQ(message, "PIN incorrecto: quedan 2 intento(s).");
    EXPECT_TRUE(CheckCardPin(piccReader, "12345678", &message)) << message;

    ASSERT_TRUE(daemon.Remove(0));
    ASSERT_TRUE(daemon.Remove(1));
  }
}

// RealLibraryPath finds the file the dynamic loader opens for the PC/SC library.
std::string RealLibraryPath() {
  void* handle = dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_NOLOAD);
  if (!handle) handle = dlopen("libpcsclite.so.1", RTLD_NOW);
  link_map* map = nullptr;
  if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return {};
  std::error_code ignored;
  return std::filesystem::canonical(map->l_name, ignored).string();
}

TEST(PcscLibraryTest, MissingOrIncompleteLibrary) {
  const std::string probe = std::string(VY_BINARY_DIR) + "/tests/card/card_probe";
  // A library without the entry points, found first on the search path.
  CommandResult incomplete = RunCommand(
      "LD_LIBRARY_PATH=" + Quote(std::string(VY_BINARY_DIR) + "/tests/card/fake-pcsclite") + " " + probe);
  const std::string notExported =
      "Servicio PC/SC no disponible. servicio 'pcscd' detenido. El modulo PC/SC no exporta las funciones "
      "esperadas.";
  EXPECT_EQ(incomplete.status, 0);
  EXPECT_EQ(incomplete.output, notExported + "\n" + notExported + "\nsin ATR\n" + notExported + "\n");

  // The library itself unreadable, in a mount namespace of the probe's own.
  const std::string library = RealLibraryPath();
  ASSERT_FALSE(library.empty());
  if (geteuid() != 0) GTEST_SKIP() << "hace falta root para ocultar la biblioteca";
  CommandResult missing = RunCommand("unshare --mount --propagation private sh -c " +
                                     Quote("mount --bind /dev/null " + library + " && exec " + probe));
  const std::string notLoaded =
      "Servicio PC/SC no disponible. servicio 'pcscd' detenido. No se pudo cargar libpcsclite.so.1.";
  EXPECT_EQ(missing.status, 0) << missing.output;
  EXPECT_EQ(missing.output, notLoaded + "\n" + notLoaded + "\nsin ATR\n" + notLoaded + "\n");
}

}  // namespace
