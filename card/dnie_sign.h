#pragma once

#include <cstdint>
#include <string>

#include "card/apdu.h"
#include "card/dnie.h"
#include "card/transport.h"
#include "core/bytes.h"

// The two programs sign with the card a little differently: the signer tries every key
// reference and input form of the profile and keeps only a signature that verifies with the
// chosen certificate; the voting authenticator sends one fixed attempt and trusts the card.
enum class CardSignVariant { Signer, VoteAuth };

// SignWithCard returns the raw RSA PKCS#1 v1.5 signature over SHA-256 of `data`, made by the
// DNIe in `reader` after verifying `pin`. When the card gives none it asks the system key
// store. It returns empty bytes when both fail; `message` always says what happened.
Bytes SignWithCard(CardConnector& connector, const std::string& reader, const Bytes& certificateDer,
                   const Bytes& data, const std::string& pin, std::string* message,
                   CardSignVariant variant = CardSignVariant::Signer);
inline Bytes SignWithCard(const std::string& reader, const Bytes& certificateDer, const Bytes& data,
                          const std::string& pin, std::string* message,
                          CardSignVariant variant = CardSignVariant::Signer) {
  return SignWithCard(PcscConnector(), reader, certificateDer, data, pin, message, variant);
}

// CheckCardPin verifies the signature PIN without signing. It returns false with the reason.
bool CheckCardPin(CardConnector& connector, const std::string& reader, const std::string& pin,
                  std::string* message);
inline bool CheckCardPin(const std::string& reader, const std::string& pin, std::string* message) {
  return CheckCardPin(PcscConnector(), reader, pin, message);
}

// VerifyPin presents the PIN in the profile's format and returns the card's status word;
// a PIN outside 4 to 8 bytes gives 6700 without any command.
int32_t VerifyPin(CardChannel* channel, const std::string& pin, DnieProfile profile);
// SelectSignatureApplication opens the application that holds the signature key.
bool SelectSignatureApplication(CardChannel* channel, DnieProfile profile);
// SignatureSummary is "<n> byte(s), <first 8 bytes in hex>".
std::string SignatureSummary(const Bytes& signature);
