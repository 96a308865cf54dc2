#pragma once

#include <string>
#include <vector>

#include "card/dnie_sign.h"
#include "card/transport.h"
#include "certs/certificate_entry.h"
#include "core/bytes.h"

// The DNIe as a source of the certificate list: the only place where the list meets the
// card code.

// ListDnieCertificates appends the signing certificates of the DNIe in the chosen reader
// (`options.readerName`, else the default reader) and returns the list's status part:
// "DNIe: sin lector", "DNIe: N de firma" or "DNIe: ninguno (...)".
std::string ListDnieCertificates(const SignerOptions& options, std::vector<CertificateEntry>* entries);

// SignWithDnie asks the card in `readerName` for the signature and, when the card gives none,
// the system key store (the card's own module may hold the same key). A PIN the card has just
// refused is not handed on. It returns empty bytes when nothing signed; `message` says why, or
// how the signature was made.
Bytes SignWithDnie(CardConnector& connector, const std::string& readerName, const Bytes& certificateDer,
                   const Bytes& data, const std::string& pin, std::string* message,
                   CardSignVariant variant = CardSignVariant::Signer);
inline Bytes SignWithDnie(const std::string& readerName, const Bytes& certificateDer, const Bytes& data,
                          const std::string& pin, std::string* message,
                          CardSignVariant variant = CardSignVariant::Signer) {
  return SignWithDnie(PcscConnector(), readerName, certificateDer, data, pin, message, variant);
}
