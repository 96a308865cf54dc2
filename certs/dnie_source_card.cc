// The DNIe source of the certificate list, through the card code (PC/SC).
#include "card/dnie_certificates.h"
#include "card/dnie_sign.h"
#include "card/pcsc.h"
#include "certs/dnie_source.h"

std::string ListDnieCertificates(const SignerOptions& options, std::vector<CertificateEntry>* entries) {
  std::string reader = options.readerName;
  if (reader.empty()) {
    // A PC/SC failure shows only as "sin lector".
    std::string ignored;
    std::vector<std::string> readers = ListReaders(&ignored);
    if (!readers.empty()) {
      int index = DefaultReaderIndex(readers);
      if (index >= 0 && size_t(index) < readers.size()) reader = readers[size_t(index)];
    }
  }
  if (reader.empty()) return "DNIe: sin lector";

  std::string status, atrHex;
  std::vector<CardCertificate> read = ReadCardCertificates(reader, &status, &atrHex);
  int added = 0;
  for (const CardCertificate& card : read) {
    if (card.certificate.isCa) continue;
    CertificateEntry entry;
    static_cast<ParsedCertificate&>(entry) = card.certificate;
    entry.source = CertificateSource::DNIe;
    std::string name = HolderName(entry);
    entry.displayName = "DNIe · " + (name.empty() ? std::string("(sin nombre)") : name);
    entry.readerName = reader;
    entry.hasPrivateKey = true;
    entries->push_back(std::move(entry));
    ++added;
  }
  if (!read.empty()) return "DNIe: " + std::to_string(added) + " de firma";
  std::string part = "DNIe: ninguno";
  if (!status.empty()) part += " (" + status + ")";
  return part;
}

Bytes SignWithDnie(const std::string& readerName, const Bytes& certificateDer, const Bytes& data,
                   const std::string& pin, std::string* message) {
  return SignWithCard(readerName, certificateDer, data, pin, message);
}
