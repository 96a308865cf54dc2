#include "card/pcsc.h"

#include <gtest/gtest.h>

#include "core/platform_names.h"

namespace {

TEST(ReaderTest, ClassifiesByName) {
  EXPECT_EQ(ClassifyReader("ACS ACR1252 1S CL Reader PICC 0"), ReaderKind::Contactless);
  EXPECT_EQ(ClassifyReader("Identiv uTrust 4701 F Dual Interface Reader SAM 0"), ReaderKind::Contact);
  EXPECT_EQ(ClassifyReader("Generic USB Reader 00 00"), ReaderKind::Unknown);
  // Contactless words are tried first: "Contactless Reader" also holds "contact".
  EXPECT_EQ(ClassifyReader("Foo CONTACTLESS Reader"), ReaderKind::Contactless);
  EXPECT_EQ(ClassifyReader("Bar Smart Card Reader"), ReaderKind::Contact);
  EXPECT_EQ(ClassifyReader("Virtual PCD 00 00"), ReaderKind::Unknown);

  EXPECT_EQ(DefaultReaderIndex({}), -1);
  EXPECT_EQ(DefaultReaderIndex({"Reader PICC 0", "Reader ICC 0"}), 1);
  EXPECT_EQ(DefaultReaderIndex({"Generic", "Reader NFC"}), 1);
  EXPECT_EQ(DefaultReaderIndex({"Generic A", "Generic B"}), 0);
}

TEST(ReaderTest, ErrorTexts) {
  EXPECT_EQ(ConnectErrorText(kPcscNoSmartcard),
            "No hay tarjeta en el lector. Acerque el DNIe y pulse Actualizar.");
  EXPECT_EQ(ConnectErrorText(kPcscRemovedCard),
            "No hay tarjeta en el lector. Acerque el DNIe y pulse Actualizar.");
  EXPECT_EQ(ConnectErrorText(kPcscSharingViolation), "Lector ocupado por otra aplicacion.");
  EXPECT_EQ(ConnectErrorText(kPcscReaderUnavailable), "Lector no disponible.");
  EXPECT_EQ(PcscErrorText(kPcscServiceStopped), "Servicio PC/SC detenido.");
  EXPECT_EQ(PcscErrorText(0x80100017), "Error PC/SC 0x80100017");
  // This machine has the library, so the binding is usable.
  ASSERT_TRUE(pcsc::PcscUsable());
  EXPECT_EQ(PcscErrorText(kPcscNoService), std::string("Servicio PC/SC no disponible (servicio '") +
                                               platform::kPcscService + "' detenido).");
}

TEST(ReaderTest, WrappersRefuseWhatCannotWork) {
  Bytes response{1, 2, 3};
  EXPECT_EQ(pcsc::TransmitRaw(1, 1, {}, &response), kPcscNoService);
  EXPECT_TRUE(response.empty());
  CardSession session;
  session.card = 0;
  CloseCardSession(&session);  // nothing to release
  EXPECT_EQ(ReadReaderAtr(""), "");
}

}  // namespace
