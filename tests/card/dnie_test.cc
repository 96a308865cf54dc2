#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "card/dnie.h"
#include "card/dnie_certificates.h"
#include "card/dnie_sign.h"
#include "certs/dnie_source.h"
#include "certs/store.h"
#include "core/platform_names.h"
#include "core/text.h"
#include "tests/card/scripted_card.h"
#include "tests/certs/cert_test_helpers.h"
#include "tests/support/virtual_dnie.h"

namespace {

using testing_support::DnieGeneration;
using testing_support::MakeDnie;
using testing_support::SharedDnieIdentities;
using testing_support::SignatureInput;
using testing_support::Verifies;
using testing_support::VirtualConnector;
using testing_support::VirtualDnie;

const char kContact[] = "Virtual Contact Reader 00 00";
const char kPicc[] = "Virtual PICC Reader 01 00";

// Instructions of the commands a card received, as two hex digits each ("A4", "B0", ...).
std::vector<std::string> Instructions(const VirtualDnie& card) {
  std::vector<std::string> out;
  for (const std::string& command : card.CommandsHex()) out.push_back(command.substr(2, 2));
  return out;
}

size_t CountOf(const std::vector<std::string>& list, const std::string& value) {
  return std::count(list.begin(), list.end(), value);
}

TEST(IdentifyTest, ContactRule) {
  // A known contact ATR of the 2.0 card decides without any command.
  auto v2 = MakeDnie(DnieGeneration::V2);
  CardChannel channel{nullptr};
  EXPECT_EQ(IdentifyDnie(&channel, kContact, v2->atr()), DnieProfile::V2);
  EXPECT_EQ(channel.commandCount, 0);

  // The 1.0 ATR is confirmed by selecting its application (T=0: the FCI follows by GET RESPONSE).
  auto v1 = MakeDnie(DnieGeneration::V1);
  VirtualConnector connector;
  connector.Insert(kContact, v1.get());
  std::string message;
  auto card = connector.Open(kContact, &message);
  channel = CardChannel{card.get()};
  EXPECT_EQ(IdentifyDnie(&channel, kContact, v1->atr()), DnieProfile::V1);
  EXPECT_EQ(v1->CommandsHex(),
            (std::vector<std::string>{"00A4040010A0000000770100700A1000F100000100", "00C0000014"}));

  // An unknown ATR and a card that knows none of the applications: 4 + 2 + 4 SELECT commands.
  ScriptedCard nothing(ScriptedCard::Always("6A82"));
  channel = CardChannel{&nothing};
  EXPECT_EQ(IdentifyDnie(&channel, "Generic Reader", HexDecode("3B00")), DnieProfile::Unknown);
  EXPECT_EQ(nothing.sent, (std::vector<std::string>{
                              "00A4040C10A000000077030C60000000FE00000500",
                              "00A4040C10A000000077030C60000000FE0000050000",
                              "00A4040010A000000077030C60000000FE00000500",
                              "00A4040010A000000077030C60000000FE0000050000",
                              "00A4040010A0000000770100700A1000F100000100",
                              "00A4040010A0000000770100700A1000F10000010000",
                              "00A404040EE828BD080FD25047656E65726963",
                              "00A404040EE828BD080FD25047656E6572696300",
                              "00A404000EE828BD080FD25047656E65726963",
                              "00A404000EE828BD080FD25047656E6572696300",
                          }));
  EXPECT_EQ(channel.statusWord, 0x6A82);

  // A contact 3.0 card has no known ATR and is found by its application.
  auto v3 = MakeDnie(DnieGeneration::V3);
  connector.Insert(kContact, v3.get());
  card = connector.Open(kContact, &message);
  channel = CardChannel{card.get()};
  EXPECT_EQ(IdentifyDnie(&channel, kContact, {}), DnieProfile::V3);
  EXPECT_EQ(v3->CommandsHex(), (std::vector<std::string>{"00A4040C10A000000077030C60000000FE00000500"}));
}

TEST(IdentifyTest, ContactlessRule) {
  ScriptedCard nothing(ScriptedCard::Always("6A82"));
  CardChannel channel{&nothing};
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, HexDecode("3B80800101")), DnieProfile::V2);
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, HexDecode("3B8F800180738421E0")), DnieProfile::V3);
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, HexDecode("3B8F800180738421E0AABBCC")), DnieProfile::V3);
  EXPECT_TRUE(nothing.sent.empty());
  // One byte more than the 2.0 ATR goes to the probes: 3.0 (0C), E828 (0C, 04), 1.0 (0C).
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, HexDecode("3B8080010100")), DnieProfile::Unknown);
  EXPECT_EQ(nothing.sent.size(), 8u);
  nothing.sent.clear();
  // The contact ATR of a 2.0 card means nothing through the air.
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, HexDecode("3BDC18FF8191FE1FC38073C821136605036351000250")),
            DnieProfile::Unknown);
  EXPECT_EQ(nothing.sent.size(), 8u);

  auto v1 = MakeDnie(DnieGeneration::V1, true);
  VirtualConnector connector;
  connector.Insert(kPicc, v1.get());
  std::string message;
  auto card = connector.Open(kPicc, &message);
  channel = CardChannel{card.get()};
  EXPECT_EQ(IdentifyDnie(&channel, kPicc, v1->atr()), DnieProfile::V1);
  EXPECT_EQ(ProfileName(DnieProfile::V1), "DNIe 1.0 RENIEC");
  EXPECT_EQ(ProfileName(static_cast<DnieProfile>(7)), "Tarjeta no identificada");
}

TEST(ReadCertificatesTest, EveryGenerationThroughEitherInterface) {
  const auto& ids = SharedDnieIdentities();
  for (DnieGeneration generation : {DnieGeneration::V1, DnieGeneration::V2, DnieGeneration::V3}) {
    for (bool contactless : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << "generation " << int(generation) << (contactless ? " NFC" : " contact"));
      auto dnie = MakeDnie(generation, contactless);
      VirtualConnector connector;
      const char* reader = contactless ? kPicc : kContact;
      connector.Insert(reader, dnie.get());
      std::string status, atr;
      std::vector<CardCertificate> certs = ReadCardCertificates(connector, reader, &status, &atr);
      ASSERT_EQ(certs.size(), 3u) << status;
      EXPECT_EQ(atr, HexEncode(dnie->atr()));
      // The 3.0 card is read CE82 (absent here), 001C, 001B, 001D.
      const bool v3 = generation == DnieGeneration::V3;
      const CardCertificate& signature = certs[v3 ? 2 : 0];
      EXPECT_EQ(signature.label, "Firma Digital (DNIe)");
      EXPECT_EQ(certs[v3 ? 0 : 1].label, "Autenticacion (DNIe)");
      EXPECT_EQ(certs[v3 ? 1 : 2].label, "Cifrado (DNIe)");
      // The 300 bytes of padding after each certificate are neither read nor kept.
      EXPECT_EQ(signature.certificate.der, ids.signature.certDer);
      EXPECT_EQ(certs[v3 ? 1 : 2].certificate.der, ids.encryption.certDer);
      EXPECT_EQ(HolderName(signature.certificate), "ANA LUCIA QUISPE MAMANI FIR 44556677");
      EXPECT_EQ(IssuerShortName(signature.certificate), "ECEP-RENIEC-Pruebas");
      const std::string profile = ProfileName(static_cast<DnieProfile>(generation));
      EXPECT_EQ(status, profile + (contactless ? " (NFC)" : "") + " · 3 certificado(s) · " +
                            std::to_string(dnie->CommandsHex().size()) + " APDUs");
      EXPECT_EQ(connector.openSessions(), 0);
    }
  }
}

TEST(ReadCertificatesTest, ContactTraceOfTheFirstGeneration) {
  auto dnie = MakeDnie(DnieGeneration::V1);
  VirtualConnector connector;
  connector.Insert(kContact, dnie.get());
  std::string status, atr;
  ASSERT_EQ(ReadCardCertificates(connector, kContact, &status, &atr).size(), 3u);
  const size_t length = SharedDnieIdentities().signature.certDer.size();
  std::vector<std::string> expected = {
      // identification, then application, MF and 5015 with P2 00 (answers wait behind 61xx)
      "00A4040010A0000000770100700A1000F100000100", "00C0000014",
      "00A4040010A0000000770100700A1000F100000100", "00C0000014", "00A40000023F00", "00C0000006",
      "00A40000025015", "00C0000006",
      // 3402 is selected with P1 00 and read 255 bytes at a time until its DER element ends.
      "00A40000023402", "00C000000A"};
  for (size_t offset = 0; offset < length; offset += 255) {
    char command[16];
    std::snprintf(command, sizeof command, "00B0%02X%02XFF", unsigned(offset >> 8) & 0x7F,
                  unsigned(offset & 0xFF));
    expected.push_back(command);
  }
  std::vector<std::string> sent = dnie->CommandsHex();
  ASSERT_GE(sent.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + expected.size()), expected);
}

TEST(ReadCertificatesTest, ContactlessTraceOfTheThirdGeneration) {
  auto dnie = MakeDnie(DnieGeneration::V3, true);
  VirtualConnector connector;
  connector.Insert(kPicc, dnie.get());
  std::string status, atr;
  ASSERT_EQ(ReadCardCertificates(connector, kPicc, &status, &atr).size(), 3u);
  std::vector<std::string> selects;
  for (const std::string& command : dnie->CommandsHex())
    if (command.compare(2, 2, "A4") == 0) selects.push_back(command);
  // No identification probe (the ATR decides); CE82 is missing, its 0C and 04 tries fail.
  EXPECT_EQ(selects, (std::vector<std::string>{"00A4040C10A000000077030C60000000FE00000500",
                                               "00A404040EE828BD080FD25047656E65726963", "00A4020C02CE82",
                                               "00A4020C02CE8200", "00A4020402CE82", "00A4020402CE8200",
                                               "00A4020C02001C", "00A4020C02001B", "00A4020C02001D"}));
}

TEST(ReadCertificatesTest, FileQuirks) {
  const auto& ids = SharedDnieIdentities();
  VirtualConnector connector;
  std::string status, atr;

  // The 3.0 signature certificate in both CE82 and 001D is listed once; a CA certificate in
  // the encryption file is labelled as a CA.
  auto v3 = MakeDnie(DnieGeneration::V3);
  v3->PutFile(0xCE82, ids.signature.certDer);
  v3->PutFile(0x001B, ids.ca.certDer);
  connector.Insert(kContact, v3.get());
  auto certs = ReadCardCertificates(connector, kContact, &status, &atr);
  ASSERT_EQ(certs.size(), 3u) << status;
  EXPECT_EQ(certs[0].label, "Firma Digital (DNIe)");
  EXPECT_EQ(certs[2].label, "Certificado CA emisor");
  ASSERT_NE(SignatureCertificate(certs), nullptr);
  EXPECT_EQ(SignatureCertificate(certs)->certificate.der, ids.signature.certDer);

  // A file that ends (6282) before its certificate does is not kept.
  auto v2 = MakeDnie(DnieGeneration::V2);
  Bytes cut = ids.authentication.certDer;
  cut.resize(cut.size() - 250);
  v2->PutFile(0x001C, cut);
  v2->SupportReads(true, false);  // no odd READ BINARY: each file falls back to the plain one
  connector.Insert(kContact, v2.get());
  certs = ReadCardCertificates(connector, kContact, &status, &atr);
  ASSERT_EQ(certs.size(), 2u) << status;
  EXPECT_EQ(certs[1].label, "Cifrado (DNIe)");
  std::vector<std::string> ins = Instructions(*v2);
  EXPECT_EQ(CountOf(ins, "B1"), 3u);
  EXPECT_EQ(CountOf(ins, "B0"), 3 * ((ids.signature.certDer.size() + 254) / 255) - 1);

  // Answers in 100-byte pieces behind 61xx, and 6Cxx for a read past the end, change nothing.
  auto chained = MakeDnie(DnieGeneration::V1);
  chained->faults.chain61 = 100;
  chained->faults.wrongLe = true;
  chained->PutFile(0x3401, ids.authentication.certDer);  // unpadded: the last read asks too much
  connector.Insert(kContact, chained.get());
  certs = ReadCardCertificates(connector, kContact, &status, &atr);
  ASSERT_EQ(certs.size(), 3u) << status;
  EXPECT_EQ(certs[1].certificate.der, ids.authentication.certDer);
  EXPECT_GT(CountOf(Instructions(*chained), "C0"), 10u);
}

TEST(ReadCertificatesTest, Refusals) {
  VirtualConnector connector;
  std::string status, atr;
  EXPECT_TRUE(ReadCardCertificates(connector, "", &status, &atr).empty());
  EXPECT_EQ(status, "Elija un lector.");
  connector.Insert(kContact, nullptr);
  EXPECT_TRUE(ReadCardCertificates(connector, kContact, &status, &atr).empty());
  EXPECT_EQ(status, "No hay tarjeta en el lector. Acerque el DNIe y pulse Actualizar.");

  auto readsNothing = [&](VirtualDnie* card) {
    connector.Insert(kContact, card);
    EXPECT_TRUE(ReadCardCertificates(connector, kContact, &status, &atr).empty());
  };

  // Identified by its ATR, then 6982 to everything.
  auto denied = MakeDnie(DnieGeneration::V2);
  denied->faults.denyAll = true;
  readsNothing(denied.get());
  EXPECT_EQ(status,
            "la tarjeta exige canal seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. SW=6982 "
            "(perfil DNIe 2.0 RENIEC, 6 APDUs)");

  // Not a DNIe at all.
  auto stranger = MakeDnie(DnieGeneration::V1);
  stranger->SetAtr(HexDecode("3B00"));
  stranger->faults.denyAll = true;
  readsNothing(stranger.get());
  EXPECT_EQ(
      status,
      "Tarjeta no identificada como DNIe (revise que este bien insertada/tapada). la tarjeta exige canal "
      "seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. SW=6982");

  // A card that stops answering, and one that answers 61xx for ever: both end, bounded.
  auto mute = MakeDnie(DnieGeneration::V2);
  mute->faults.muteAfter = 2;
  readsNothing(mute.get());
  EXPECT_EQ(status.rfind("la tarjeta dejo de responder (timeout); mantenga el DNIe en el lector. (perfil", 0),
            0u)
      << status;
  auto endless = MakeDnie(DnieGeneration::V2);
  endless->faults.endless61 = true;
  readsNothing(endless.get());
  EXPECT_EQ(endless->CommandsHex().size(), 6u * (1 + 8));  // six SELECT tries, each with 8 GET RESPONSE
  EXPECT_EQ(connector.openSessions(), 0);
}

class SignTest : public testing::Test {
 protected:
  Bytes data = ToBytes("atributos firmados de prueba");
  VirtualConnector connector;
  std::string message;

  Bytes Sign(VirtualDnie* card, const Bytes& certDer, const std::string& pin,
             CardSignVariant variant = CardSignVariant::Signer) {
    connector.Insert(kContact, card);
    card->ClearTrace();
    Bytes signature = SignWithDnie(connector, kContact, certDer, data, pin, &message, variant);
    EXPECT_EQ(connector.openSessions(), 0);
    return signature;
  }

  // StoreError is the part of a failure message that the system key store adds.
  std::string StoreError(const Bytes& certDer, const std::string& pin) {
    std::string error;
    EXPECT_TRUE(SignWithSystemKey(certDer, data, pin, true, &error).empty());
    return error.empty() ? "" : " | " + std::string(platform::kStoreEntryName) + ": " + error;
  }
};

TEST_F(SignTest, EveryGenerationSignsAndTheSignatureVerifies) {
  const auto& ids = SharedDnieIdentities();
  for (DnieGeneration generation : {DnieGeneration::V1, DnieGeneration::V2, DnieGeneration::V3}) {
    SCOPED_TRACE(int(generation));
    auto dnie = MakeDnie(generation);
    Bytes signature = Sign(dnie.get(), ids.signature.certDer, "12345678");
    ASSERT_TRUE(Verifies(ids.signature.certDer, signature, data)) << message;
    EXPECT_EQ(message, "Firmado por APDU con el PIN del DNIe (" + SignatureSummary(signature) + ").");
    EXPECT_EQ(CountOf(Instructions(*dnie), "20"), 1u);
    // Short PINs are padded to the generation's block.
    dnie->ClearTrace();
    dnie->SetPin("2468");
    EXPECT_FALSE(Sign(dnie.get(), ids.signature.certDer, "2468").empty()) << message;
  }
  EXPECT_EQ(SignatureSummary(HexDecode("0102030405060708090A")), "10 byte(s), 0102030405060708");
}

TEST_F(SignTest, TrialLoopFindsTheKeyAndTheForm) {
  const auto& ids = SharedDnieIdentities();
  // Only the bare hash under 81: 82 fails with both forms first.
  auto dnie = std::make_unique<VirtualDnie>(DnieGeneration::V3, false, ids.dir);
  dnie->PutCertificates(ids.signature.certDer, ids.authentication.certDer, ids.encryption.certDer);
  dnie->SetPin("12345678");
  dnie->SetKey(0x81, ids.signature, SignatureInput::BareHash);
  Bytes signature = Sign(dnie.get(), ids.signature.certDer, "12345678");
  ASSERT_TRUE(Verifies(ids.signature.certDer, signature, data)) << message;
  EXPECT_EQ(message.find("sin comprobar"), std::string::npos);
  std::vector<std::string> trials;
  for (const std::string& command : dnie->CommandsHex())
    if (command.compare(2, 2, "22") == 0)
      trials.push_back(command.substr(10, 12));
    else if (command.compare(2, 2, "2A") == 0)
      trials.push_back(command.substr(8, 2));
  EXPECT_EQ(trials,
            (std::vector<std::string>{"840182800142", "20", "840182800142", "33", "840181800142", "20"}));

  // A key that signs with the other form's input gives signatures that do not verify; the
  // authentication key under the signature reference neither.
  auto wrong = MakeDnie(DnieGeneration::V2);
  wrong->faults.wrongFormSigns = true;
  wrong->SetKey(0x81, ids.stranger, SignatureInput::BareHash);
  EXPECT_TRUE(Sign(wrong.get(), ids.signature.certDer, "12345678").empty());
  EXPECT_EQ(
      message,
      "La tarjeta no emitio una firma verificable con el certificado elegido (SW=referencia de datos no "
      "encontrada (6A88))." +
          StoreError(ids.signature.certDer, "12345678"));
  EXPECT_EQ(CountOf(Instructions(*wrong), "2A"), 4u);

  // The card forgets the PIN before the first signature: it is verified again, once.
  auto forgetful = MakeDnie(DnieGeneration::V1);
  forgetful->faults.forgetPin = 1;
  EXPECT_FALSE(Sign(forgetful.get(), ids.signature.certDer, "12345678").empty()) << message;
  EXPECT_EQ(CountOf(Instructions(*forgetful), "20"), 2u);

  // Without an RSA key in the certificate the first signature is taken unchecked.
  auto dnieEc = MakeDnie(DnieGeneration::V2);
  signature = Sign(dnieEc.get(), ids.ecSignature.certDer, "12345678");
  EXPECT_FALSE(signature.empty());
  EXPECT_EQ(message, "Firmado por APDU con el PIN del DNIe (sin comprobar, certificado no RSA: " +
                         SignatureSummary(signature) + ").");
}

TEST_F(SignTest, PinRefusals) {
  const auto& ids = SharedDnieIdentities();
  auto dnie = MakeDnie(DnieGeneration::V3);
  // A wrong PIN costs the card one attempt, and no second one through the key store.
  EXPECT_TRUE(Sign(dnie.get(), ids.signature.certDer, "87654321").empty());
  EXPECT_EQ(message, "PIN incorrecto: quedan 2 intento(s).");
  EXPECT_EQ(dnie->retriesLeft(), 2);
  EXPECT_EQ(CountOf(Instructions(*dnie), "2A"), 0u);
  Sign(dnie.get(), ids.signature.certDer, "87654321");
  EXPECT_TRUE(Sign(dnie.get(), ids.signature.certDer, "87654321").empty());
  EXPECT_EQ(message, "PIN bloqueado: hay que desbloquearlo con el codigo PUK/clave de desbloqueo.");
  EXPECT_TRUE(Sign(dnie.get(), ids.signature.certDer, "12345678").empty());
  EXPECT_EQ(message, "PIN bloqueado: hay que desbloquearlo con el codigo PUK/clave de desbloqueo.");

  // A 9-digit PIN never reaches the card; the key store is asked.
  auto fresh = MakeDnie(DnieGeneration::V2);
  EXPECT_TRUE(Sign(fresh.get(), ids.signature.certDer, "123456789").empty());
  EXPECT_EQ(CountOf(Instructions(*fresh), "20"), 0u);
  EXPECT_EQ(message, "La tarjeta no admite ese PIN (longitud o formato). SW=6700" +
                         StoreError(ids.signature.certDer, "123456789"));

  // Without a PIN the card is not touched.
  EXPECT_TRUE(Sign(fresh.get(), ids.signature.certDer, "").empty());
  EXPECT_TRUE(fresh->CommandsHex().empty());
  std::string storeError;
  EXPECT_TRUE(SignWithSystemKey(ids.signature.certDer, data, "", true, &storeError).empty());
  EXPECT_EQ(message, "Se necesita el PIN de firma del DNIe. (" + std::string(platform::kStoreEntryName) +
                         ": " + storeError + ")");
  EXPECT_TRUE(SignWithDnie(connector, kContact, ids.signature.certDer, {}, "1234", &message).empty());
  EXPECT_EQ(message, "No hay datos que firmar.");

  // Not a DNIe.
  auto stranger = MakeDnie(DnieGeneration::V1);
  stranger->SetAtr({});
  stranger->faults.denyAll = true;
  EXPECT_TRUE(Sign(stranger.get(), ids.signature.certDer, "12345678").empty());
  EXPECT_EQ(message.rfind("Tarjeta no identificada como DNIe. la tarjeta exige canal seguro", 0), 0u)
      << message;
}

TEST_F(SignTest, VotingVariantSendsOneAttempt) {
  const auto& ids = SharedDnieIdentities();
  for (DnieGeneration generation : {DnieGeneration::V1, DnieGeneration::V2, DnieGeneration::V3}) {
    auto dnie = MakeDnie(generation);
    Bytes signature = Sign(dnie.get(), ids.signature.certDer, "12345678", CardSignVariant::VoteAuth);
    EXPECT_TRUE(Verifies(ids.signature.certDer, signature, data)) << message;
    EXPECT_EQ(CountOf(Instructions(*dnie), "2A"), 1u);
  }
  // Unchecked: a signature by another key is returned as it is.
  auto other = MakeDnie(DnieGeneration::V2);
  other->SetKey(0x81, ids.stranger, SignatureInput::DigestInfo);
  Bytes signature = Sign(other.get(), ids.signature.certDer, "12345678", CardSignVariant::VoteAuth);
  EXPECT_TRUE(Verifies(ids.stranger.certDer, signature, data));
  EXPECT_EQ(message, "Firmado por APDU con el PIN del DNIe (" + SignatureSummary(signature) + ").");

  auto refused = MakeDnie(DnieGeneration::V3);
  refused->RefuseEnvironment(0x82);
  EXPECT_TRUE(Sign(refused.get(), ids.signature.certDer, "12345678", CardSignVariant::VoteAuth).empty());
  EXPECT_EQ(message, "MSE:AT rechazado: referencia de datos no encontrada (6A88)" +
                         StoreError(ids.signature.certDer, ""));
  auto noKey = MakeDnie(DnieGeneration::V1);
  noKey->SetKey(0x02, ids.signature, SignatureInput::BareHash);
  EXPECT_TRUE(Sign(noKey.get(), ids.signature.certDer, "12345678", CardSignVariant::VoteAuth).empty());
  EXPECT_EQ(message.rfind("La tarjeta no firmo: SW=6A80 | ", 0), 0u) << message;
}

TEST(CheckCardPinTest, Messages) {
  VirtualConnector connector;
  auto dnie = MakeDnie(DnieGeneration::V2);
  connector.Insert(kContact, dnie.get());
  std::string message;
  EXPECT_TRUE(CheckCardPin(connector, kContact, "12345678", &message));
  EXPECT_EQ(message, "");
  EXPECT_FALSE(CheckCardPin(connector, kContact, "11112222", &message));
  EXPECT_EQ(message, "PIN incorrecto: quedan 2 intento(s).");
  EXPECT_FALSE(CheckCardPin(connector, kContact, "123", &message));
  EXPECT_EQ(message, "El PIN debe tener entre 4 y 8 digitos.");
  EXPECT_FALSE(CheckCardPin(connector, "", "12345678", &message));
  EXPECT_EQ(message, "Elija un lector.");
  dnie->faults.denyAll = true;
  EXPECT_FALSE(CheckCardPin(connector, kContact, "12345678", &message));
  EXPECT_EQ(message, "DNIe 2.0 RENIEC: no se pudo abrir el DF de firma. SW=6982");
  dnie->SetAtr({});
  EXPECT_FALSE(CheckCardPin(connector, kContact, "12345678", &message));
  EXPECT_EQ(
      message,
      "Tarjeta no identificada.la tarjeta exige canal seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. "
      "SW=6982");
  EXPECT_EQ(connector.openSessions(), 0);
}

}  // namespace
