#pragma once

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
