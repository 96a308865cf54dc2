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

// DnieSigner signs a run of data blocks with the DNIe in one card session and one PIN entry,
// and, for a block the card gives no signature for, with the system key store (the card's own
// module may hold the same key). A PIN the card has refused is not handed on.
class DnieSigner {
 public:
  explicit DnieSigner(CardConnector& connector, CardSignVariant variant = CardSignVariant::Signer)
      : connector_(connector), card_(variant), variant_(variant) {}

  // Begin opens the card in `readerName` and verifies `pin` once. It returns false, with the
  // card's message, when the card refused the PIN: nothing should be signed then. Any other
  // card failure leaves the signatures to the key store, and its message for Sign.
  bool Begin(const std::string& readerName, const std::string& pin, std::string* message);
  // Sign returns the signature of `data` for the certificate, or empty bytes; `message` says
  // why, or how the signature was made.
  Bytes Sign(const Bytes& certificateDer, const Bytes& data, std::string* message);
  // pinRefused tells whether the card has refused the PIN; no signature is tried after that.
  bool pinRefused() const { return opening_.pinRefused; }

 private:
  CardConnector& connector_;
  DnieSigningSession card_;
  CardSignVariant variant_;
  CardSignature opening_;  // why the card could not be opened, when it could not
  SecretText pin_;         // for the key store
};

// SignWithDnie asks the card in `readerName` for the signature and, when the card gives none,
// the system key store, as a DnieSigner with one signature. It returns empty bytes when
// nothing signed; `message` says why, or how the signature was made.
Bytes SignWithDnie(CardConnector& connector, const std::string& readerName, const Bytes& certificateDer,
                   const Bytes& data, const std::string& pin, std::string* message,
                   CardSignVariant variant = CardSignVariant::Signer);
inline Bytes SignWithDnie(const std::string& readerName, const Bytes& certificateDer, const Bytes& data,
                          const std::string& pin, std::string* message,
                          CardSignVariant variant = CardSignVariant::Signer) {
  return SignWithDnie(PcscConnector(), readerName, certificateDer, data, pin, message, variant);
}
