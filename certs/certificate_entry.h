#pragma once

#include <string>

#include "certs/certificate.h"

// SignerOptions are the user's choices for listing and signing.
struct SignerOptions {
  std::string readerName;  // the DNIe reader; empty means the default reader
  std::string pin;         // the DNIe signature PIN, or the system store's key PIN
  std::string pkcs12Path;  // empty means no PKCS#12 file
  std::string pkcs12Password;
  bool allowKeyPrompt = true;  // the system store's key provider may ask the user itself
};

// CertificateEntry is one certificate of the signer's list: the decoded certificate (its
// fields, so IsExpired and SignPdf take an entry as it stands) and where it came from.
struct CertificateEntry : ParsedCertificate {
  CertificateSource source = CertificateSource::DNIe;
  std::string displayName;  // "DNIe · name", "<store> · name" or "PFX · file name"
  std::string readerName;   // DNIe entries only
  bool hasPrivateKey = false;
  bool keyNeedsInteraction = false;  // system store: a key exists but needs a login first
};

// The entry builders are the one place where an entry's source fields and display name are
// made. The store's key probe (hasPrivateKey, keyNeedsInteraction) is left to its backend.
CertificateEntry MakeDnieEntry(const ParsedCertificate& cert, const std::string& readerName);
CertificateEntry MakeStoreEntry(const ParsedCertificate& cert);
CertificateEntry MakePkcs12Entry(const ParsedCertificate& cert, const std::string& path, bool hasPrivateKey);

// DisplayHolder is HolderName, or "(sin nombre)" when the certificate names nobody.
std::string DisplayHolder(const ParsedCertificate& cert);
// FileNameOf is the part of a path after its last '/' or '\'.
std::string FileNameOf(const std::string& path);
