#include "certs/signing_session.h"

#include "core/rsa.h"

SigningSession::SigningSession(const CertificateEntry& entry, const SignerOptions& options,
                               CardConnector& connector)
    : entry_(entry), options_(options), connector_(connector) {}

SigningSession::~SigningSession() = default;

bool SigningSession::Begin(std::string* message) {
  message->clear();
  begun_ = false;
  if (!entry_.parsed || entry_.der.empty()) {
    *message = "El certificado elegido no es valido.";
    return false;
  }
  switch (entry_.source) {
    case CertificateSource::WindowsStore:
    case CertificateSource::Keychain:
      store_ = std::make_unique<SystemKeySession>();
      if (!store_->Open(entry_.der, options_.pin, options_.allowKeyPrompt, message)) {
        if (message->empty()) *message = "El almacén del sistema no pudo firmar.";
        return false;
      }
      break;
    case CertificateSource::DNIe:
      if (options_.pin.empty()) {
        *message = "Se necesita el PIN de firma del DNIe.";
        return false;
      }
      dnie_ = std::make_unique<DnieSigner>(connector_);
      // A card that cannot be opened for another reason leaves each signature to the key store.
      if (!dnie_->Begin(entry_.readerName, options_.pin, message)) return false;
      message->clear();
      break;
    case CertificateSource::Pkcs12:
      pkcs12_ = std::make_unique<Pkcs12Signer>();
      if (!pkcs12_->Open(options_.pkcs12Path, options_.pkcs12Password, message)) {
        if (message->empty()) *message = "El PKCS#12 no pudo firmar.";
        return false;
      }
      break;
    default: *message = "Origen de certificado desconocido."; return false;
  }
  begun_ = true;
  return true;
}

bool SigningSession::SignBySource(const Bytes& data, Bytes* signature, std::string* message) {
  std::string note;
  if (store_) {
    *signature = store_->Sign(data, &note);
    if (signature->empty()) *message = note.empty() ? "El almacén del sistema no pudo firmar." : note;
  } else if (dnie_) {
    *signature = dnie_->Sign(entry_.der, data, &note);
    if (signature->empty()) *message = note.empty() ? "El DNIe no firmo." : note;
  } else if (pkcs12_) {
    *signature = pkcs12_->Sign(data, &note);
    if (signature->empty()) *message = note.empty() ? "El PKCS#12 no pudo firmar." : note;
  }
  return !signature->empty();
}

bool SigningSession::Sign(const Bytes& data, Bytes* signature, std::string* message) {
  signature->clear();
  message->clear();
  if (data.empty()) {
    *message = "No hay datos que firmar.";
    return false;
  }
  if (!begun_) {
    *message = "El certificado elegido no es valido.";
    return false;
  }
  if (!SignBySource(data, signature, message)) return false;
  if (std::optional<RsaPublicKey> key = ExtractRsaPublicKey(entry_.der)) {
    if (!VerifyRsaPkcs1Sha256(key->modulus, key->exponent, *signature, data.data(), data.size())) {
      signature->clear();
      *message = "La clave que firmo no corresponde al certificado elegido (" + DisplayHolder(entry_) + ").";
      return false;
    }
  }
  return true;
}
