// The DNIe source of the certificate list, through the card code (PC/SC).
#include "card/dnie_certificates.h"
#include "card/dnie_sign.h"
#include "card/reader_report.h"
#include "certs/dnie_source.h"
#include "certs/store.h"
#include "core/platform_names.h"

std::string ListDnieCertificates(const SignerOptions& options, std::vector<CertificateEntry>* entries) {
  std::string reader = options.readerName;
  if (reader.empty()) {
    std::string ignored;  // a PC/SC failure shows only as "sin lector"
    reader = DefaultReaderName(&ignored);
  }
  if (reader.empty()) return "DNIe: sin lector";

  std::string status, atrHex;
  std::vector<CardCertificate> read = ReadCardCertificates(reader, &status, &atrHex);
  int added = 0;
  for (const CardCertificate& card : read) {
    if (card.certificate.isCa) continue;
    entries->push_back(MakeDnieEntry(card.certificate, reader));
    ++added;
  }
  if (!read.empty()) return "DNIe: " + std::to_string(added) + " de firma";
  std::string part = "DNIe: ninguno";
  if (!status.empty()) part += " (" + status + ")";
  return part;
}

bool DnieSigner::Begin(const std::string& readerName, const std::string& pin, std::string* message) {
  message->clear();
  pin_.Set(pin);
  opening_ = CardSignature();
  // Without a PIN the card is not touched: the key store asks for it itself.
  if (pin.empty() || card_.Open(connector_, readerName, pin, &opening_)) return true;
  *message = opening_.message;
  return !opening_.pinRefused;
}

Bytes DnieSigner::Sign(const Bytes& certificateDer, const Bytes& data, std::string* message) {
  message->clear();
  if (data.empty()) {
    *message = "No hay datos que firmar.";
    return {};
  }
  CardSignature card = card_.isOpen() ? card_.Sign(ExtractRsaPublicKey(certificateDer), data) : opening_;
  if (card.pinRefused) opening_.pinRefused = true;
  if (!card.signature.empty()) {
    *message = std::move(card.message);
    return std::move(card.signature);
  }
  // A PIN the card has just refused is not handed to the key store: it would only spend
  // another of the card's attempts, and the count in the message would be stale.
  if (card.pinRefused && variant_ == CardSignVariant::Signer) {
    *message = std::move(card.message);
    return {};
  }
  const std::string& pin = pin_.get();
  std::string storeError;
  // The authenticator's key store asks for the PIN itself.
  Bytes signature = variant_ == CardSignVariant::Signer
                        ? SignWithSystemKey(certificateDer, data, pin, true, &storeError)
                        : SignWithSystemKeyForVoting(certificateDer, data, &storeError);
  if (!signature.empty()) {
    *message = std::string(platform::kStoreSignedNote) + " (" + SignatureSummary(signature) + ").";
    return signature;
  }
  const std::string store = platform::kStoreEntryName;
  if (!pin.empty()) {
    *message = card.message.empty() ? "No se pudo firmar." : card.message;
    if (!storeError.empty()) *message += " | " + store + ": " + storeError;
  } else {
    *message = "Se necesita el PIN de firma del DNIe.";
    if (!storeError.empty()) *message += " (" + store + ": " + storeError + ")";
  }
  return {};
}

Bytes SignWithDnie(CardConnector& connector, const std::string& readerName, const Bytes& certificateDer,
                   const Bytes& data, const std::string& pin, std::string* message, CardSignVariant variant) {
  message->clear();
  if (data.empty()) {
    *message = "No hay datos que firmar.";
    return {};
  }
  DnieSigner signer(connector, variant);
  std::string opening;
  signer.Begin(readerName, pin, &opening);
  return signer.Sign(certificateDer, data, message);
}
