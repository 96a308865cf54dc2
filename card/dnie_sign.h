#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "card/apdu.h"
#include "card/dnie.h"
#include "card/transport.h"
#include "core/bytes.h"
#include "core/rsa.h"

// The two programs sign with the card a little differently: the signer tries every key
// reference and input form of the profile and keeps only a signature that verifies with the
// chosen certificate; the voting authenticator sends one fixed attempt and trusts the card.
enum class CardSignVariant { Signer, VoteAuth };

// CardSignature is what the card gave for one signature request.
struct CardSignature {
  Bytes signature;          // empty when the card gave none
  std::string message;      // how the signature was made, or why there is none
  bool pinRefused = false;  // the card counted the PIN as wrong, or has blocked it
};

// How a generation signs: PIN format, key references and input forms (dnie_sign.cc).
struct SigningRules;

// DnieSigningSession keeps one card open for a run of signatures made with one PIN entry: the
// PIN is verified once when the session opens and kept, wiped when the session goes, only to
// verify again when the card answers that its security status is no longer satisfied. After
// the card has refused the PIN nothing more is sent. Once a key reference and input form have
// given a valid signature, later signatures start with them.
class DnieSigningSession {
 public:
  explicit DnieSigningSession(CardSignVariant variant = CardSignVariant::Signer);
  ~DnieSigningSession();
  DnieSigningSession(const DnieSigningSession&) = delete;
  DnieSigningSession& operator=(const DnieSigningSession&) = delete;

  // Open connects to the card in `reader`, identifies it, opens the signature application and
  // verifies `pin`. It returns false, with the reason in `failure->message` and
  // `failure->pinRefused` set when the card counted the PIN as wrong, and nothing left open.
  bool Open(CardConnector& connector, const std::string& reader, const std::string& pin,
            CardSignature* failure);
  // Sign asks the open card for the raw RSA PKCS#1 v1.5 signature over SHA-256 of `data`. The
  // signer's variant keeps only a signature that verifies with `key`; without a key (a
  // certificate that is not RSA) it takes the first one unchecked. It returns an empty
  // signature, with the reason in `message`, when the card gives none.
  CardSignature Sign(const std::optional<RsaPublicKey>& key, const Bytes& data);
  bool isOpen() const { return dnie_.card != nullptr; }
  // Close ends the card session and wipes the PIN.
  void Close();

 private:
  CardSignVariant variant_;
  OpenedDnie dnie_;
  SecretText pin_;
  std::unique_ptr<SigningRules> rules_;
  bool pinRefused_ = false;
};

// SignWithCard is one signature in a session of its own: it asks the DNIe in `reader` for the
// signature of `data` after verifying `pin`, as DnieSigningSession::Open and Sign do.
CardSignature SignWithCard(CardConnector& connector, const std::string& reader,
                           const std::optional<RsaPublicKey>& key, const Bytes& data, const std::string& pin,
                           CardSignVariant variant = CardSignVariant::Signer);

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
