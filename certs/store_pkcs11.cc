// The system store on Linux: every PKCS#11 token the desktop reaches. p11-kit's proxy module
// fans out to all registered modules (OpenSC for smart cards, SoftHSM2, vendors' modules);
// QUILLMARK_PKCS11_MODULE may name a single module instead.
#include <p11-kit/pkcs11.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "certs/store.h"
#include "core/dynlib.h"
#include "core/platform_names.h"
#include "core/rsa.h"
#include "core/sha256.h"

namespace {

constexpr const char* kProxyModule = "p11-kit-proxy.so";

const char* const kNoKeyMessage =
    "no se pudo abrir la clave privada de este certificado. Puede que la tarjeta que la guarda no este "
    "conectada, o que la clave este bloqueada: en ese caso escribe el PIN en el dialogo y vuelve a firmar.";

std::string WithCode(const std::string& text, CK_RV rv) {
  char code[24];
  std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(rv));
  return text + code;
}

std::string ModuleName() {
  const char* named = std::getenv("QUILLMARK_PKCS11_MODULE");
  return named && *named ? named : kProxyModule;
}

// Module loads and initializes one PKCS#11 module for the length of one operation.
class Module {
 public:
  Module() = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module() {
    if (ownsInitialization_) functions_->C_Finalize(nullptr);
  }

  // Load returns false with a Spanish message when the module cannot be used.
  bool Load(std::string* error) {
    std::string name = ModuleName();
    CK_C_GetFunctionList getFunctionList = nullptr;
    if (!library_.Open(name) || !library_.Bind("C_GetFunctionList", &getFunctionList)) {
      *error = "no se pudo cargar el modulo PKCS#11 " + name + ".";
      return false;
    }
    CK_RV rv = getFunctionList(&functions_);
    if (rv != CKR_OK || !functions_) {
      *error = WithCode("el modulo PKCS#11 " + name + " no se pudo iniciar.", rv);
      return false;
    }
    rv = functions_->C_Initialize(nullptr);
    // Another part of the process may have initialized it; then it is not ours to finalize.
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
      *error = WithCode("el modulo PKCS#11 " + name + " no se pudo iniciar.", rv);
      return false;
    }
    ownsInitialization_ = rv == CKR_OK;
    return true;
  }

  CK_FUNCTION_LIST* operator->() const { return functions_; }

  // Tokens lists the slots that hold an initialized token.
  std::vector<CK_SLOT_ID> Tokens() const {
    CK_ULONG count = 0;
    if (functions_->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0) return {};
    std::vector<CK_SLOT_ID> slots(count);
    if (functions_->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK) return {};
    slots.resize(count);
    std::vector<CK_SLOT_ID> tokens;
    for (CK_SLOT_ID slot : slots) {
      CK_TOKEN_INFO info;
      if (functions_->C_GetTokenInfo(slot, &info) == CKR_OK && (info.flags & CKF_TOKEN_INITIALIZED))
        tokens.push_back(slot);
    }
    return tokens;
  }

 private:
  DynamicLibrary library_;
  CK_FUNCTION_LIST* functions_ = nullptr;
  bool ownsInitialization_ = false;
};

// Session is one read-only session; a login made through it is undone when it closes.
class Session {
 public:
  Session(const Module& module, CK_SLOT_ID slot) : module_(module), slot_(slot) {
    if (module_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle_) != CKR_OK)
      handle_ = CK_INVALID_HANDLE;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    if (handle_ == CK_INVALID_HANDLE) return;
    if (loggedIn_) module_->C_Logout(handle_);
    module_->C_CloseSession(handle_);
  }
  bool IsOpen() const { return handle_ != CK_INVALID_HANDLE; }

  CK_TOKEN_INFO TokenInfo() const {
    CK_TOKEN_INFO info{};
    if (module_->C_GetTokenInfo(slot_, &info) != CKR_OK) info.flags = 0;
    return info;
  }

  // Login with `pin`, or through the token's own reader keypad when `pin` is null.
  CK_RV Login(const std::string* pin) {
    CK_RV rv;
    if (pin) {
      Bytes secret = ToBytes(*pin);
      rv = module_->C_Login(handle_, CKU_USER, secret.data(), secret.size());
      SecureClear(&secret);
    } else {
      rv = module_->C_Login(handle_, CKU_USER, nullptr, 0);
    }
    if (rv == CKR_OK) loggedIn_ = true;
    return rv == CKR_USER_ALREADY_LOGGED_IN ? CKR_OK : rv;
  }

  std::vector<CK_OBJECT_HANDLE> Find(std::vector<CK_ATTRIBUTE> pattern) const {
    std::vector<CK_OBJECT_HANDLE> found;
    if (module_->C_FindObjectsInit(handle_, pattern.data(), pattern.size()) != CKR_OK) return found;
    CK_OBJECT_HANDLE batch[32];
    CK_ULONG count = 0;
    while (module_->C_FindObjects(handle_, batch, 32, &count) == CKR_OK && count > 0)
      found.insert(found.end(), batch, batch + count);
    module_->C_FindObjectsFinal(handle_);
    return found;
  }

  std::optional<Bytes> Attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
    CK_ATTRIBUTE attribute = {type, nullptr, 0};
    if (module_->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK ||
        attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION)
      return std::nullopt;
    Bytes value(attribute.ulValueLen);
    attribute.pValue = value.data();
    if (module_->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK) return std::nullopt;
    value.resize(attribute.ulValueLen);
    return value;
  }

  // PrivateKeyFor finds the visible private key with the certificate's id, else the RSA key
  // whose modulus is the certificate's.
  std::optional<CK_OBJECT_HANDLE> PrivateKeyFor(const Bytes& id, const Bytes& modulus) const {
    CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
    if (!id.empty()) {
      auto keys = Find(
          {{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_ID, const_cast<uint8_t*>(id.data()), id.size()}});
      if (!keys.empty()) return keys.front();
    }
    CK_KEY_TYPE rsa = CKK_RSA;
    for (CK_OBJECT_HANDLE key :
         Find({{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_KEY_TYPE, &rsa, sizeof rsa}})) {
      std::optional<Bytes> keyModulus = Attribute(key, CKA_MODULUS);
      if (!keyModulus) continue;
      size_t zeros = 0;
      while (zeros + 1 < keyModulus->size() && (*keyModulus)[zeros] == 0) ++zeros;
      if (Bytes(keyModulus->begin() + zeros, keyModulus->end()) == modulus) return key;
    }
    return std::nullopt;
  }

  bool HasMechanism(CK_MECHANISM_TYPE wanted) const {
    CK_ULONG count = 0;
    if (module_->C_GetMechanismList(slot_, nullptr, &count) != CKR_OK || count == 0) return false;
    std::vector<CK_MECHANISM_TYPE> list(count);
    if (module_->C_GetMechanismList(slot_, list.data(), &count) != CKR_OK) return false;
    list.resize(count);
    for (CK_MECHANISM_TYPE type : list)
      if (type == wanted) return true;
    return false;
  }

  CK_SESSION_HANDLE handle() const { return handle_; }

 private:
  const Module& module_;
  CK_SLOT_ID slot_;
  CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
  bool loggedIn_ = false;
};

std::vector<CK_OBJECT_HANDLE> Certificates(const Session& session) {
  CK_OBJECT_CLASS certClass = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE x509 = CKC_X_509;
  return session.Find(
      {{CKA_CLASS, &certClass, sizeof certClass}, {CKA_CERTIFICATE_TYPE, &x509, sizeof x509}});
}

// Trust anchors (p11-kit's system trust module marks them "authority") are not signing
// certificates: listing them would bury the user's own among the system's root CAs.
bool IsAuthority(const Session& session, CK_OBJECT_HANDLE cert) {
  std::optional<Bytes> category = session.Attribute(cert, CKA_CERTIFICATE_CATEGORY);
  if (!category || category->size() != sizeof(CK_ULONG)) return false;
  CK_ULONG value;
  std::memcpy(&value, category->data(), sizeof value);
  return value == 2;  // CK_CERTIFICATE_CATEGORY_AUTHORITY
}

}  // namespace

void ListSystemCertificates(std::vector<CertificateEntry>* entries, std::string* message) {
  message->clear();
  Module module;
  if (!module.Load(message)) return;
  std::vector<CK_SLOT_ID> tokens = module.Tokens();
  if (tokens.empty()) {
    *message = "no hay ningun token PKCS#11 conectado.";
    return;
  }
  int added = 0;
  for (CK_SLOT_ID slot : tokens) {
    Session session(module, slot);
    if (!session.IsOpen()) continue;
    bool loginRequired = session.TokenInfo().flags & CKF_LOGIN_REQUIRED;
    for (CK_OBJECT_HANDLE object : Certificates(session)) {
      std::optional<Bytes> der = session.Attribute(object, CKA_VALUE);
      ParsedCertificate cert;
      if (!der || IsAuthority(session, object) || !ParseCertificateExact(*der, &cert)) continue;
      std::optional<RsaPublicKey> key = ExtractRsaPublicKey(cert.der);
      if (!key) continue;
      CertificateEntry entry = MakeStoreEntry(cert);
      Bytes id = session.Attribute(object, CKA_ID).value_or(Bytes());
      if (session.PrivateKeyFor(id, key->modulus)) {
        entry.hasPrivateKey = true;
      } else if (loginRequired) {
        entry.hasPrivateKey = true;
        entry.keyNeedsInteraction = true;
      }
      entries->push_back(std::move(entry));
      ++added;
    }
  }
  *message = added == 0 ? "los tokens PKCS#11 no tienen certificados RSA."
                        : std::to_string(added) + " certificado(s)";
}

struct SystemKeySession::State {
  Module module;
  std::unique_ptr<Session> session;
  CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
  // Tokens without the combined mechanism sign a DigestInfo that we build.
  bool combined = true;
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
  ParsedCertificate cert;
  std::optional<RsaPublicKey> publicKey;
  if (ParseCertificateExact(certificateDer, &cert)) publicKey = ExtractRsaPublicKey(cert.der);
  if (!publicKey) {
    *error = "PKCS#11 no pudo cargar el certificado.";
    return false;
  }
  auto state = std::make_unique<State>();
  if (!state->module.Load(error)) return false;

  for (CK_SLOT_ID slot : state->module.Tokens()) {
    auto session = std::make_unique<Session>(state->module, slot);
    if (!session->IsOpen()) continue;
    CK_OBJECT_CLASS certClass = CKO_CERTIFICATE;
    auto held = session->Find({{CKA_CLASS, &certClass, sizeof certClass},
                               {CKA_VALUE, const_cast<uint8_t*>(cert.der.data()), cert.der.size()}});
    // Only a token that holds the certificate is ever given the PIN: a wrong guess elsewhere
    // would count against another token's retry counter.
    if (held.empty()) continue;
    Bytes id = session->Attribute(held.front(), CKA_ID).value_or(Bytes());

    CK_TOKEN_INFO info = session->TokenInfo();
    CK_RV rv = CKR_OK;
    if (!pin.empty()) {
      rv = session->Login(&pin);
    } else if ((info.flags & CKF_LOGIN_REQUIRED) && (info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) &&
               allowKeyPrompt) {
      rv = session->Login(nullptr);
    }
    if (rv == CKR_PIN_LOCKED) {
      *error = "el PIN del token PKCS#11 esta bloqueado.";
      return false;
    }
    if (rv != CKR_OK) {
      *error = pin.empty()
                   ? kNoKeyMessage
                   : "PKCS#11 no acepto el PIN para abrir la clave privada. Comprueba el PIN y que la "
                     "tarjeta este conectada.";
      return false;
    }
    // Another token may hold the same certificate with its key (a trust list beside the card).
    std::optional<CK_OBJECT_HANDLE> key = session->PrivateKeyFor(id, publicKey->modulus);
    if (!key) continue;
    state->key = *key;
    state->combined = session->HasMechanism(CKM_SHA256_RSA_PKCS);
    state->session = std::move(session);
    state_ = std::move(state);
    return true;
  }
  *error = kNoKeyMessage;
  return false;
}

Bytes SystemKeySession::Sign(const Bytes& data, std::string* error) {
  error->clear();
  if (!state_) {
    *error = kNoKeyMessage;
    return {};
  }
  Bytes input;
  CK_MECHANISM mechanism = {CKM_SHA256_RSA_PKCS, nullptr, 0};
  if (state_->combined) {
    input = data;
  } else {
    mechanism.mechanism = CKM_RSA_PKCS;
    input = DigestInfoPrefix();
    Append(&input, Sha256Bytes(data));
  }
  const Module& module = state_->module;
  const CK_SESSION_HANDLE session = state_->session->handle();
  CK_ULONG size = 0;
  CK_RV rv = module->C_SignInit(session, &mechanism, state_->key);
  if (rv == CKR_OK) rv = module->C_Sign(session, input.data(), input.size(), nullptr, &size);
  if (rv != CKR_OK || size == 0) {
    *error = WithCode("PKCS#11: la clave no pudo firmar (¿PIN de la tarjeta?).", rv);
    return {};
  }
  Bytes signature(size);
  rv = module->C_Sign(session, input.data(), input.size(), signature.data(), &size);
  if (rv != CKR_OK) {
    *error = WithCode("PKCS#11: firma rechazada.", rv);
    return {};
  }
  signature.resize(size);
  return signature;
}

Bytes SignWithSystemKey(const Bytes& certificateDer, const Bytes& data, const std::string& pin,
                        bool allowKeyPrompt, std::string* error) {
  SystemKeySession session;
  if (!session.Open(certificateDer, pin, allowKeyPrompt, error)) return {};
  return session.Sign(data, error);
}

Bytes SignWithSystemKeyForVoting(const Bytes& certificateDer, const Bytes& data, std::string* error) {
  return SignWithSystemKey(certificateDer, data, "", true, error);
}
