#pragma once

#include <memory>
#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "core/bytes.h"

// The system certificate store: the Windows Personal store on Windows, PKCS#11 tokens
// (through p11-kit) on Linux. One backend file per platform implements these.

// ListSystemCertificates appends the store's RSA certificates to `entries` (source
// WindowsStore, display name "<store> · holder") with their key probe: `hasPrivateKey` when a
// key is registered, `keyNeedsInteraction` when it cannot be opened silently. `message` is
// the count ("N certificado(s)") or, when nothing was added, why.
void ListSystemCertificates(std::vector<CertificateEntry>* entries, std::string* message);

// SignWithSystemKey signs `data` (RSA PKCS#1 v1.5 over SHA-256) with the private key that
// belongs to the certificate. A non-empty `pin` logs in with it; otherwise the key provider
// may ask the user when `allowKeyPrompt` is set. It returns the big-endian signature, or
// empty bytes with a Spanish message in `error`.
Bytes SignWithSystemKey(const Bytes& certificateDer, const Bytes& data, const std::string& pin,
                        bool allowKeyPrompt, std::string* error);

// SystemKeySession signs a run of data blocks with the store key of one certificate: the key
// is found, and the PIN presented, once (Open); each Sign is then one signature with it. A PIN
// the store refuses ends the session before anything is signed. SignWithSystemKey is one such
// session with one signature.
class SystemKeySession {
 public:
  SystemKeySession();
  ~SystemKeySession();
  SystemKeySession(const SystemKeySession&) = delete;
  SystemKeySession& operator=(const SystemKeySession&) = delete;

  // Open finds the private key that belongs to the certificate and logs in with `pin`; without
  // one the key provider may ask the user when `allowKeyPrompt` is set. It returns false with
  // a Spanish message in `error` when no key can be used.
  bool Open(const Bytes& certificateDer, const std::string& pin, bool allowKeyPrompt, std::string* error);
  // Sign returns the big-endian RSA PKCS#1 v1.5 signature over SHA-256 of `data`, or empty
  // bytes with a Spanish message in `error`.
  Bytes Sign(const Bytes& data, std::string* error);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// SignWithSystemKeyForVoting is the voting authenticator's fall-back after its card: no PIN is
// handed on (the key provider asks for it itself), and on Windows only CryptoAPI keys, the
// minidriver's, are used. Same result and error contract as SignWithSystemKey.
Bytes SignWithSystemKeyForVoting(const Bytes& certificateDer, const Bytes& data, std::string* error);

#ifdef _WIN32
// The Windows names of the three operations above (certs/store_win32.cc).
void ListWindowsCertificates(std::vector<CertificateEntry>* entries, std::string* message);
Bytes SignWithWindowsKey(const Bytes& certificateDer, const Bytes& data, const std::string& pin,
                         bool allowKeyPrompt, std::string* error);
Bytes SignWithWindowsKeyForVoting(const Bytes& certificateDer, const Bytes& data, std::string* error);
#endif
