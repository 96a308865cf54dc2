#pragma once

#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "core/bytes.h"

// ListCertificates gathers the certificates of every source in a fixed order (the DNIe, the
// system store, the PKCS#12 file when `options` names one), drops repeated store and PKCS#12
// certificates (same issuer and serial), and puts valid certificates before expired ones,
// then by source, keeping the order of discovery otherwise. `status` says what each source
// gave, as "DNIe: ... | <store>: ... | PKCS#12: ...". The list is rebuilt on every call.
std::vector<CertificateEntry> ListCertificates(const SignerOptions& options, std::string* status);

// SignWithCertificate routes `data` to the entry's source and checks the returned signature
// against the entry's RSA key. It returns false, with `signature` empty and a Spanish
// `message`, when no source signed or the signature does not belong to the certificate. On
// success `message` is empty.
bool SignWithCertificate(const CertificateEntry& entry, const SignerOptions& options, const Bytes& data,
                         Bytes* signature, std::string* message);
