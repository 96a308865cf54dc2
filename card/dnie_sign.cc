#include "card/dnie_sign.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "card/pcsc.h"
#include "core/sha256.h"
#include "core/text.h"

namespace {

// OpenSignatureDnie opens the card in `reader` for a PIN operation. It returns false, with
// the connection error or `unknownText` followed by the card's first refusal in `message`,
// when there is no card or it is no DNIe.
bool OpenSignatureDnie(CardConnector& connector, const std::string& reader, const char* unknownText,
                       OpenedDnie* out, std::string* message) {
  if (!OpenDnie(connector, reader, out, message)) return false;
  if (out->profile != DnieProfile::Unknown) return true;
  *message = unknownText + TakeCardError(out->channel);
  return false;
}

}  // namespace

enum class InputForm { DigestInfo, BareHash };

// SigningRules are a generation's PIN format, key references and accepted input forms.
struct SigningRules {
  size_t pinPadTo;  // 0: the PIN as typed
  uint8_t verifyP2;
  std::vector<uint8_t> keyReferences;  // in trial order
  std::vector<InputForm> forms;        // in trial order
};

namespace {

const SigningRules& RulesOf(DnieProfile profile) {
  static const SigningRules v1{8, 0x04, {0x02}, {InputForm::DigestInfo, InputForm::BareHash}};
  static const SigningRules v2{0, 0x81, {0x81, 0x82}, {InputForm::DigestInfo, InputForm::BareHash}};
  static const SigningRules v3{12, 0x03, {0x82, 0x81, 0x83}, {InputForm::BareHash, InputForm::DigestInfo}};
  switch (profile) {
    case DnieProfile::V1: return v1;
    case DnieProfile::V2: return v2;
    default: return v3;
  }
}

Bytes SecurityEnvironment(DnieProfile profile, uint8_t keyReference) {
  switch (profile) {
    case DnieProfile::V1: return {0x80, 0x01, 0x11, 0x83, 0x01, keyReference};
    case DnieProfile::V2: return {0x80, 0x01, 0x8A, 0x84, 0x01, keyReference};
    default: return {0x84, 0x01, keyReference, 0x80, 0x01, 0x42};
  }
}

bool PinRefused(int32_t sw) {
  return (sw >> 8) == 0x63 || sw == 0x6983 || sw == 0x6984;
}

// FirstTried moves `value` to the front of `list`, keeping the others in their order.
template <typename T>
void FirstTried(std::vector<T>* list, T value) {
  auto at = std::find(list->begin(), list->end(), value);
  if (at != list->end()) std::rotate(list->begin(), at, at + 1);
}

// RunTrials sends the security environment and the signature for each key reference and input
// form of `rules`, re-verifying the PIN when the card asks for it. With `key` a result counts
// only when it verifies; without, the first 9000 answer of a key reference is taken. The key
// reference and form that signed move to the front of `rules`, for the next signature.
void RunTrials(CardChannel* ch, DnieProfile profile, const std::string& pin, const Bytes& data,
               SigningRules* rules, const RsaPublicKey* key, CardSignVariant variant, CardSignature* out) {
  const Bytes hash = Sha256Bytes(data);
  Bytes digestInfo = DigestInfoPrefix();
  Append(&digestInfo, hash);
  std::string lastStatus;
  bool lastWasEnvironment = false;
  for (uint8_t keyReference : rules->keyReferences) {
    const Bytes environment = SecurityEnvironment(profile, keyReference);
    Bytes kept;
    InputForm keptForm = rules->forms.front();
    for (size_t i = 0; i < rules->forms.size(); ++i) {
      if (ManageSecurityEnvironment(ch, environment) != 0x9000) {
        lastStatus = StatusWordText(ch->statusWord);
        lastWasEnvironment = true;
        if (i == 0) break;  // this key reference is not there
        continue;
      }
      const InputForm form = rules->forms[i];
      const Bytes& input = form == InputForm::BareHash ? hash : digestInfo;
      Bytes signature = ComputeDigitalSignature(ch, input);
      if (ch->statusWord == 0x6982 || ch->statusWord == 0x6985) {
        const int32_t verified = VerifyPin(ch, pin, profile);
        if (verified != 0x9000) {
          out->message = PinErrorText(verified);
          out->pinRefused = PinRefused(verified);
          return;
        }
        ManageSecurityEnvironment(ch, environment);
        signature = ComputeDigitalSignature(ch, input);
      }
      lastStatus = StatusWordText(ch->statusWord);
      lastWasEnvironment = false;
      if (ch->statusWord != 0x9000 || signature.empty()) continue;
      if (!key) {
        if (kept.empty()) {
          kept = std::move(signature);
          keptForm = form;
        }
        continue;
      }
      if (VerifyRsaPkcs1Sha256(key->modulus, key->exponent, signature, data.data(), data.size())) {
        out->signature = std::move(signature);
        FirstTried(&rules->forms, form);
        FirstTried(&rules->keyReferences, keyReference);
        return;
      }
    }
    if (!kept.empty()) {
      out->signature = std::move(kept);
      FirstTried(&rules->forms, keptForm);
      FirstTried(&rules->keyReferences, keyReference);
      return;
    }
  }
  if (variant == CardSignVariant::VoteAuth) {
    out->message = (lastWasEnvironment ? "MSE:AT rechazado: " : "La tarjeta no firmo: ") + lastStatus;
  } else {
    out->message =
        "La tarjeta no emitio una firma verificable con el certificado elegido (SW=" + lastStatus + ").";
  }
}

}  // namespace

int32_t VerifyPin(CardChannel* channel, const std::string& pin, DnieProfile profile) {
  if (pin.size() < 4 || pin.size() > 8) return 0x6700;
  const SigningRules& rules = RulesOf(profile);
  Bytes block(pin.begin(), pin.end());
  if (block.size() < rules.pinPadTo) block.resize(rules.pinPadTo, 0xFF);
  int32_t sw = Verify(channel, rules.verifyP2, block);
  if ((sw == 0x6A80 || sw == 0x6A86 || sw == 0x6A88) && rules.verifyP2 != 0x81)
    sw = Verify(channel, 0x81, block);
  SecureClear(&block);
  return sw;
}

bool SelectSignatureApplication(CardChannel* channel, DnieProfile profile) {
  switch (profile) {
    case DnieProfile::V1:
      SelectFile(channel, 0x3F00, 0x00, {0x00, 0x04});
      return SelectFile(channel, 0x5015, 0x00, {0x00, 0x04});
    case DnieProfile::V2: return SelectByName(channel, DnieSignatureAid(), {0x04, 0x00, 0x0C});
    default:
      SelectByName(channel, DnieV3Aid(), {0x0C, 0x00});
      return SelectByName(channel, DnieSignatureAid(), {0x04, 0x00, 0x0C});
  }
}

std::string SignatureSummary(const Bytes& signature) {
  return std::to_string(signature.size()) + " byte(s), " +
         HexEncode(signature.data(), signature.size() < 8 ? signature.size() : 8);
}

DnieSigningSession::DnieSigningSession(CardSignVariant variant) : variant_(variant) {}

DnieSigningSession::~DnieSigningSession() {
  Close();
}

void DnieSigningSession::Close() {
  dnie_ = OpenedDnie();
  pin_.Clear();
  rules_.reset();
}

bool DnieSigningSession::Open(CardConnector& connector, const std::string& reader, const std::string& pin,
                              CardSignature* failure) {
  Close();
  *failure = CardSignature();
  pinRefused_ = false;
  if (reader.empty()) {
    failure->message = "Elija un lector.";
    return false;
  }
  OpenedDnie dnie;
  if (!OpenSignatureDnie(connector, reader, "Tarjeta no identificada como DNIe. ", &dnie, &failure->message))
    return false;
  if (!SelectSignatureApplication(&dnie.channel, dnie.profile)) {
    failure->message =
        "No se pudo abrir el DF de la clave de firma (SW=" + HexStatusWord(dnie.channel.statusWord) + ").";
    return false;
  }
  const int32_t verified = VerifyPin(&dnie.channel, pin, dnie.profile);
  if (verified != 0x9000) {
    failure->message = PinErrorText(verified);
    failure->pinRefused = PinRefused(verified);
    return false;
  }
  rules_ = std::make_unique<SigningRules>(RulesOf(dnie.profile));
  if (variant_ == CardSignVariant::VoteAuth) {
    // One fixed attempt: the first key reference, and the form each generation is known to take.
    rules_->keyReferences.resize(1);
    rules_->forms = {dnie.profile == DnieProfile::V3 ? InputForm::BareHash : InputForm::DigestInfo};
  }
  dnie_ = std::move(dnie);
  pin_.Set(pin);
  return true;
}

CardSignature DnieSigningSession::Sign(const std::optional<RsaPublicKey>& key, const Bytes& data) {
  CardSignature attempt;
  if (!isOpen() || pinRefused_) {
    attempt.message = pinRefused_ ? "La tarjeta rechazo el PIN; no se firma mas con el." : "Elija un lector.";
    attempt.pinRefused = pinRefused_;
    return attempt;
  }
  // The command cap bounds one signature's trials, not the length of a batch.
  dnie_.channel.commandCount = 0;
  const bool check = variant_ == CardSignVariant::Signer && key;
  RunTrials(&dnie_.channel, dnie_.profile, pin_.get(), data, rules_.get(), check ? &*key : nullptr, variant_,
            &attempt);
  if (attempt.pinRefused) {
    pinRefused_ = true;
    pin_.Clear();
  }
  if (!attempt.signature.empty()) {
    attempt.message = "Firmado por APDU con el PIN del DNIe (";
    if (variant_ == CardSignVariant::Signer && !key) attempt.message += "sin comprobar, certificado no RSA: ";
    attempt.message += SignatureSummary(attempt.signature) + ").";
  }
  return attempt;
}

CardSignature SignWithCard(CardConnector& connector, const std::string& reader,
                           const std::optional<RsaPublicKey>& key, const Bytes& data, const std::string& pin,
                           CardSignVariant variant) {
  DnieSigningSession session(variant);
  CardSignature failure;
  if (!session.Open(connector, reader, pin, &failure)) return failure;
  return session.Sign(key, data);
}

bool CheckCardPin(CardConnector& connector, const std::string& reader, const std::string& pin,
                  std::string* message) {
  message->clear();
  if (reader.empty()) {
    *message = "Elija un lector.";
    return false;
  }
  if (pin.size() < 4 || pin.size() > 8) {
    *message = "El PIN debe tener entre 4 y 8 digitos.";
    return false;
  }
  OpenedDnie dnie;
  if (!OpenSignatureDnie(connector, reader, "Tarjeta no identificada.", &dnie, message)) return false;
  CardChannel& channel = dnie.channel;
  const DnieProfile profile = dnie.profile;
  if (!SelectSignatureApplication(&channel, profile)) {
    *message =
        ProfileName(profile) + ": no se pudo abrir el DF de firma. SW=" + HexStatusWord(channel.statusWord);
    return false;
  }
  const int32_t verified = VerifyPin(&channel, pin, profile);
  if (verified != 0x9000) {
    *message = PinErrorText(verified);
    return false;
  }
  return true;
}
