// The system store on Windows: the current user's Personal store ("MY"), with the key that
// Windows associates with each certificate, through CNG when it is a CNG key and through
// CryptoAPI otherwise. Smart-card minidrivers register their certificates here too.
#include <windows.h>

#include <ncrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "certs/store.h"
#include "core/sha256.h"

namespace {

// Acquisition flags: silent (0x40), CNG keys allowed (0x10000), CNG keys preferred (0x20000).
constexpr DWORD kProbeFlags = CRYPT_ACQUIRE_SILENT_FLAG | CRYPT_ACQUIRE_ALLOW_NCRYPT_KEY_FLAG;
constexpr DWORD kSilentSignFlags = kProbeFlags | CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG;
constexpr DWORD kPromptSignFlags = CRYPT_ACQUIRE_ALLOW_NCRYPT_KEY_FLAG | CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG;
static_assert(kProbeFlags == 0x10040 && kSilentSignFlags == 0x30040 && kPromptSignFlags == 0x30000);

// A registered key-provider record shorter than this names no usable container.
constexpr DWORD kMinKeyProvInfoSize = 48;

// The PIN handed to the key acquisition: version 1, the PIN's address at offset 24.
struct PinParameters {
  DWORD version = 1;
  BYTE reserved[20] = {};
  const wchar_t* pin = nullptr;
  BYTE tail[8] = {};
};
static_assert(offsetof(PinParameters, pin) == 24 && sizeof(PinParameters) == 40);

const char* const kNoKeyMessage =
    "no se pudo abrir la clave privada de este certificado. Puede que la tarjeta que la guarda no este "
    "conectada, o que la clave este bloqueada: en ese caso escribe el PIN en el dialogo y vuelve a firmar.";

std::string WithStatus(const char* text, SECURITY_STATUS status) {
  char code[24];
  std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(status));
  return text + std::string(code);
}

// PrivateKey is an acquired key, released when it goes out of scope if the acquisition said so.
class PrivateKey {
 public:
  PrivateKey() = default;
  PrivateKey(const PrivateKey&) = delete;
  PrivateKey& operator=(const PrivateKey&) = delete;
  ~PrivateKey() {
    if (!handle_ || !mustFree_) return;
    if (IsCng())
      NCryptFreeObject(handle_);
    else
      CryptReleaseContext(handle_, 0);
  }

  bool Acquire(PCCERT_CONTEXT cert, DWORD flags, void* parameters) {
    BOOL mustFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(cert, flags, parameters, &handle_, &keySpec_, &mustFree)) {
      handle_ = 0;
      return false;
    }
    mustFree_ = mustFree;
    return true;
  }

  bool IsCng() const { return keySpec_ == CERT_NCRYPT_KEY_SPEC; }
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE handle() const { return handle_; }
  DWORD keySpec() const { return keySpec_; }

 private:
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE handle_ = 0;
  DWORD keySpec_ = 0;
  bool mustFree_ = false;
};

struct CertDeleter {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using CertHandle = std::unique_ptr<const CERT_CONTEXT, CertDeleter>;

// LoadCertificate makes a context for the DER and, when the Personal store holds the same
// certificate, returns the store's context instead: only that one carries the link to its
// key (the key-provider property), so a context made from the bytes alone could never sign.
CertHandle LoadCertificate(const Bytes& der) {
  CertHandle cert(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                               static_cast<DWORD>(der.size())));
  if (!cert) return cert;
  if (HCERTSTORE store = CertOpenSystemStoreW(0, L"MY")) {
    PCCERT_CONTEXT filed = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, cert.get(), nullptr);
    // A context keeps its store alive, so the store can be closed here.
    CertCloseStore(store, 0);
    if (filed) cert.reset(filed);
  }
  return cert;
}

// ProbeKey: 0 no key registered, 1 key opened silently, 2 registered but not openable silently.
int ProbeKey(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
      size < kMinKeyProvInfoSize)
    return 0;
  PrivateKey key;
  return key.Acquire(cert, kProbeFlags, nullptr) ? 1 : 2;
}

// Wide converts UTF-8 to UTF-16 for the platform; bytes that start no character are dropped.
std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

Bytes Reversed(Bytes bytes) {
  std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

Bytes SignWithCng(const PrivateKey& key, const Bytes& data, std::string* error) {
  Sha256Digest digest = Sha256(data.data(), data.size());
  BCRYPT_PKCS1_PADDING_INFO padding = {L"SHA256"};
  DWORD size = 0;
  SECURITY_STATUS status =
      NCryptSignHash(key.handle(), &padding, digest.data(), static_cast<DWORD>(digest.size()), nullptr, 0,
                     &size, BCRYPT_PAD_PKCS1);
  if (status != ERROR_SUCCESS || size == 0) {
    *error = WithStatus("CNG: la clave no pudo firmar (¿PIN de la tarjeta?).", status);
    return {};
  }
  Bytes signature(size);
  status = NCryptSignHash(key.handle(), &padding, digest.data(), static_cast<DWORD>(digest.size()),
                          signature.data(), size, &size, BCRYPT_PAD_PKCS1);
  if (status != ERROR_SUCCESS) {
    *error = WithStatus("CNG: firma rechazada.", status);
    return {};
  }
  signature.resize(std::min<size_t>(size, signature.size()));
  return signature;
}

// The texts of the CryptoAPI path; the authenticator words them for its minidriver.
struct CapiTexts {
  const char* noHash;
  const char* noData;
  const char* noSize;
  const char* refused;
};
const CapiTexts kSignerCapi = {
    "CAPI: Windows no pudo crear el hash SHA-256.", "CAPI: el minidriver no acepto los datos.",
    "CAPI: la clave no pudo firmar (¿PIN de la tarjeta?).", "CAPI: firma rechazada."};
const CapiTexts kVotingCapi = {"Windows no pudo crear el hash SHA-256.", "minidriver: no acepto los datos.",
                               "minidriver: la clave no pudo firmar (¿PIN?).",
                               "minidriver: firma rechazada."};

// AesProviderFor opens the key's container in Microsoft's RSA and AES provider when the key
// lives in one of its older RSA providers: they share their containers, but only that one
// hashes SHA-256, and keys imported from PKCS#12 files often land in the older ones. It
// returns 0 for any other provider (a card's own, say).
HCRYPTPROV AesProviderFor(HCRYPTPROV provider) {
  char name[256];
  DWORD size = sizeof name;
  if (!CryptGetProvParam(provider, PP_NAME, reinterpret_cast<BYTE*>(name), &size, 0)) return 0;
  name[sizeof name - 1] = 0;
  const std::string providerName = name;
  if (providerName != MS_DEF_PROV_A && providerName != MS_ENHANCED_PROV_A && providerName != MS_STRONG_PROV_A)
    return 0;
  char container[512];
  size = sizeof container;
  if (!CryptGetProvParam(provider, PP_CONTAINER, reinterpret_cast<BYTE*>(container), &size, 0)) return 0;
  container[sizeof container - 1] = 0;
  DWORD keyset = 0;
  size = sizeof keyset;
  if (!CryptGetProvParam(provider, PP_KEYSET_TYPE, reinterpret_cast<BYTE*>(&keyset), &size, 0)) keyset = 0;
  HCRYPTPROV aes = 0;
  if (!CryptAcquireContextA(&aes, container, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                            CRYPT_SILENT | (keyset & CRYPT_MACHINE_KEYSET)))
    return 0;
  return aes;
}

Bytes SignWithCapi(const PrivateKey& key, const Bytes& data, const CapiTexts& texts, std::string* error) {
  HCRYPTPROV provider = key.handle();
  HCRYPTPROV aes = 0;
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    aes = AesProviderFor(provider);
    if (!aes || !CryptCreateHash(aes, CALG_SHA_256, 0, 0, &hash)) {
      if (aes) CryptReleaseContext(aes, 0);
      *error = texts.noHash;
      return {};
    }
  }
  Bytes signature;
  DWORD size = 0;
  if (!CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0)) {
    *error = texts.noData;
  } else if (!CryptSignHashA(hash, key.keySpec(), nullptr, 0, nullptr, &size) || size == 0) {
    *error = texts.noSize;
  } else {
    signature.resize(size);
    if (CryptSignHashA(hash, key.keySpec(), nullptr, 0, signature.data(), &size)) {
      signature.resize(std::min<size_t>(size, signature.size()));
      // CryptoAPI writes the signature little-endian.
      signature = Reversed(std::move(signature));
    } else {
      signature.clear();
      *error = texts.refused;
    }
  }
  CryptDestroyHash(hash);
  if (aes) CryptReleaseContext(aes, 0);
  return signature;
}

}  // namespace

void ListWindowsCertificates(std::vector<CertificateEntry>* entries, std::string* message) {
  message->clear();
  HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
  if (!store) {
    *message = "no se pudo abrir el almacen Personal de Windows.";
    return;
  }
  int added = 0;
  for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(store, nullptr); cert;
       cert = CertEnumCertificatesInStore(store, cert)) {
    ParsedCertificate parsed;
    if (!ParseCertificateExact(cert->pbCertEncoded, cert->cbCertEncoded, &parsed) ||
        !ExtractRsaPublicKey(parsed.der))
      continue;  // only RSA keys make the signatures this system builds
    CertificateEntry entry = MakeStoreEntry(parsed);
    int probe = ProbeKey(cert);
    entry.hasPrivateKey = probe != 0;
    entry.keyNeedsInteraction = probe == 2;
    entries->push_back(std::move(entry));
    ++added;
  }
  CertCloseStore(store, 0);
  *message = added == 0 ? "el almacen Personal no tiene certificados RSA."
                        : std::to_string(added) + " certificado(s)";
}

struct SystemKeySession::State {
  CertHandle cert;
  PrivateKey key;
};

SystemKeySession::SystemKeySession() = default;
SystemKeySession::~SystemKeySession() = default;

void SystemKeySession::Close() {
  state_.reset();
}

bool SystemKeySession::Open(const Bytes& certificateDer, const std::string& pin, bool allowKeyPrompt,
                            std::string* error) {
  Close();
  error->clear();
  if (certificateDer.empty()) {
    *error = "no hay el DER del certificado.";
    return false;
  }
  auto state = std::make_unique<State>();
  state->cert = LoadCertificate(certificateDer);
  if (!state->cert) {
    *error = "Windows no pudo cargar el certificado.";
    return false;
  }
  std::wstring widePin = Wide(pin);
  PinParameters parameters;
  parameters.pin = widePin.c_str();
  const bool withPin = !widePin.empty();
  const DWORD flags = withPin || !allowKeyPrompt ? kSilentSignFlags : kPromptSignFlags;
  const bool acquired = state->key.Acquire(state->cert.get(), flags, withPin ? &parameters : nullptr);
  SecureZeroMemory(widePin.data(), widePin.size() * sizeof(wchar_t));
  if (!acquired) {
    *error = withPin
                 ? "Windows no acepto el PIN para abrir la clave privada. Comprueba el PIN y que la tarjeta "
                   "este conectada."
                 : kNoKeyMessage;
    return false;
  }
  state_ = std::move(state);
  return true;
}

Bytes SystemKeySession::Sign(const Bytes& data, std::string* error) {
  error->clear();
  if (!state_) {
    *error = kNoKeyMessage;
    return {};
  }
  const PrivateKey& key = state_->key;
  return key.IsCng() ? SignWithCng(key, data, error) : SignWithCapi(key, data, kSignerCapi, error);
}

Bytes SignWithWindowsKey(const Bytes& certificateDer, const Bytes& data, const std::string& pin,
                         bool allowKeyPrompt, std::string* error) {
  SystemKeySession session;
  if (!session.Open(certificateDer, pin, allowKeyPrompt, error)) return {};
  return session.Sign(data, error);
}

Bytes SignWithWindowsKeyForVoting(const Bytes& certificateDer, const Bytes& data, std::string* error) {
  error->clear();
  if (certificateDer.empty()) {
    *error = "no hay el DER del certificado.";
    return {};
  }
  CertHandle cert = LoadCertificate(certificateDer);
  if (!cert) {
    *error = "Windows no pudo cargar el certificado.";
    return {};
  }
  // Flags 0: Windows may ask for the PIN itself, and only CryptoAPI keys are found.
  PrivateKey key;
  if (!key.Acquire(cert.get(), 0, nullptr) || key.IsCng()) {
    *error = "el certificado no tiene clave privada en Windows (no esta en el almacen Personal).";
    return {};
  }
  return SignWithCapi(key, data, kVotingCapi, error);
}

void ListSystemCertificates(std::vector<CertificateEntry>* entries, std::string* message) {
  ListWindowsCertificates(entries, message);
}

Bytes SignWithSystemKey(const Bytes& certificateDer, const Bytes& data, const std::string& pin,
                        bool allowKeyPrompt, std::string* error) {
  return SignWithWindowsKey(certificateDer, data, pin, allowKeyPrompt, error);
}

Bytes SignWithSystemKeyForVoting(const Bytes& certificateDer, const Bytes& data, std::string* error) {
  return SignWithWindowsKeyForVoting(certificateDer, data, error);
}
