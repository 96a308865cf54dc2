#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/apdu.h"
#include "card/dnie.h"
#include "card/transport.h"
#include "certs/certificate.h"

// CardCertificate is one certificate found on a DNIe, with its label (CertificateLabel of the
// certificate and its file's label).
struct CardCertificate {
  std::string label;
  ParsedCertificate certificate;
};

// ReadCardCertificates reads every known certificate file of the DNIe in `reader`; no PIN is
// needed. It returns them without duplicates, with a one-line status text (the reason when
// none could be read) and the card's ATR as hex.
std::vector<CardCertificate> ReadCardCertificates(CardConnector& connector, const std::string& reader,
                                                  std::string* status, std::string* atrHex);
inline std::vector<CardCertificate> ReadCardCertificates(const std::string& reader, std::string* status,
                                                         std::string* atrHex) {
  return ReadCardCertificates(PcscConnector(), reader, status, atrHex);
}

// SignatureCertificate picks the certificate a signature is made with: the first one read from
// a signature file, else the first one whose key usage allows signing; null when none does.
const CardCertificate* SignatureCertificate(const std::vector<CardCertificate>& certificates);

// ReadFileBinary reads the selected file with READ BINARY, stopping at the end of the DER
// element it starts with, so that padding after a certificate is not read.
Bytes ReadFileBinary(CardChannel* channel);
// ReadFileOdd reads the selected file with the odd READ BINARY (offset in a 54 02 object,
// data in a 53 object).
Bytes ReadFileOdd(CardChannel* channel);

// OddReadContent locates the content of one odd READ BINARY answer: the content of a leading
// 53 object (cut to what arrived), or the whole answer. It returns false for a 53 object whose
// length form it does not know, which then counts as no data.
bool OddReadContent(const Bytes& answer, size_t* start, size_t* length);
