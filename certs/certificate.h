#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "core/rsa.h"

// ParsedCertificate is one decoded X.509 certificate. A cleared record has empty texts,
// empty der, zero times and false flags.
struct ParsedCertificate {
  Bytes der;  // exactly the outermost Certificate SEQUENCE
  std::string subjectCommonName;
  std::string issuerCommonName;
  std::string subjectName;
  std::string issuerName;
  std::string serialHex;
  int32_t notBefore = 0;  // seconds since 1970 UTC; 0 when undecodable
  int32_t notAfter = 0;
  bool isCa = false;
  bool signatureUsage = false;
  bool parsed = false;
};

// The values are fixed: certificate lists sort by them.
enum class CertificateSource : int32_t {
  DNIe = 0,
  WindowsStore = 1,
  Keychain = 2,
  Pkcs12 = 3,
};

// ParseCertificate finds and decodes a certificate somewhere inside `data` (a card file may
// pad it, or carry other bytes around it). It returns false, with `out` cleared, when none
// decodes.
bool ParseCertificate(const uint8_t* data, size_t len, ParsedCertificate* out);
// ParseCertificateExact decodes the one certificate that starts at `data`. It returns false,
// with `out` cleared, on any structural fault.
bool ParseCertificateExact(const uint8_t* data, size_t len, ParsedCertificate* out);
inline bool ParseCertificate(const Bytes& der, ParsedCertificate* out) {
  return ParseCertificate(der.data(), der.size(), out);
}
inline bool ParseCertificateExact(const Bytes& der, ParsedCertificate* out) {
  return ParseCertificateExact(der.data(), der.size(), out);
}

// ExtractRsaPublicKey takes the modulus and exponent from a certificate's public key. It
// returns nothing when the key does not have the RSA shape.
std::optional<RsaPublicKey> ExtractRsaPublicKey(const Bytes& der);

// HolderName is the name shown for a certificate: its common name, else its whole subject.
std::string HolderName(const ParsedCertificate& cert);
// DniDigits is the DNI number a text carries (a holder, a subject, a serialNumber such as
// "PNOPE-44556677"): the first 8 digits of its first run of at least 8 ASCII digits, or empty.
std::string DniDigits(const std::string& text);
// IssuerShortName is the issuer's common name, else the whole issuer.
std::string IssuerShortName(const ParsedCertificate& cert);
// FormatExpiry renders notAfter in local time as "dd/mm/yyyy HH:MM:SS"; "--/--/-------- --:--:--"
// when it is not positive.
std::string FormatExpiry(const ParsedCertificate& cert);
// CertificateLabel names a certificate for lists: CA, the card file's label, or the DNIe texts.
std::string CertificateLabel(const ParsedCertificate& cert, const std::string& fileLabel);
// IsExpired is true only for a decoded certificate whose positive notAfter has passed.
bool IsExpired(const ParsedCertificate& cert);
// SourceText is the display text of a certificate source; the system store takes the
// platform's name.
std::string SourceText(CertificateSource source);
