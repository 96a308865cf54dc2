#include "certs/certificate.h"

#include <cstdio>
#include <ctime>

#include "core/calendar.h"
#include "core/der.h"
#include "core/platform_names.h"
#include "core/text.h"

namespace {

constexpr size_t kMinimumCertificate = 64;

struct OidName {
  const char* hex;  // encoded OID content
  const char* key;
};

constexpr OidName kAttributeNames[] = {
    {"550403", "CN"},
    {"550404", "SURNAME"},
    {"550406", "C"},
    {"550407", "L"},
    {"550408", "ST"},
    {"55040A", "O"},
    {"55040B", "OU"},
    {"55040C", "T"},
    {"55042A", "GIVENNAME"},
    {"550405", "SERIALNUMBER"},
    {"2A864886F70D010901", "E"},
    {"0992268993F22C640101", "UID"},
    {"0992268993F22C640119", "DC"},
};

std::string AttributeKey(const uint8_t* oid, size_t len) {
  std::string hex = HexEncode(oid, len);
  for (const OidName& name : kAttributeNames)
    if (hex == name.hex) return name.key;
  std::string key = "OID";
  for (size_t i = 0; i < len && i < 12; ++i) {
    key.push_back('.');
    key.append(HexEncode(oid + i, 1));
  }
  return key;
}

// AttributeValue converts BMPString (0x1E) and UniversalString (0x1C) from big-endian code
// units, dropping NUL characters; every other string type is taken byte for byte.
std::string AttributeValue(uint32_t tag, const uint8_t* p, size_t len) {
  std::string out;
  if (tag == 0x1E) {
    std::u16string units;
    for (size_t i = 0; i + 1 < len; i += 2) units.push_back(char16_t(p[i] << 8 | p[i + 1]));
    out = Utf16ToUtf8(units);
    std::erase(out, '\0');
  } else if (tag == 0x1C) {
    for (size_t i = 0; i + 3 < len; i += 4) {
      char32_t cp = char32_t(p[i]) << 24 | char32_t(p[i + 1]) << 16 | char32_t(p[i + 2]) << 8 | p[i + 3];
      if (cp != 0) AppendUtf8(&out, cp);
    }
  } else {
    out.assign(reinterpret_cast<const char*>(p), len);
  }
  return out;
}

// DecodeName renders a Name as "key=value, ..." in encoding order and finds its first
// non-empty CN.
void DecodeName(DerReader name, std::string* rendered, std::string* commonName) {
  rendered->clear();
  commonName->clear();
  DerElement element;
  DerReader rdn;
  while (!name.Empty()) {
    if (!name.Next(&element, &rdn)) return;
    if (element.tag != 0x31) continue;
    DerReader attribute;
    while (!rdn.Empty()) {
      if (!rdn.Next(&element, &attribute)) break;
      if (element.tag != 0x30) continue;
      DerReader oid, value;
      DerElement valueElement;
      if (!attribute.Expect(0x06, &oid)) continue;
      if (!attribute.Next(&valueElement, &value)) continue;
      std::string key = AttributeKey(oid.data(), oid.size());
      std::string text = AttributeValue(valueElement.tag, value.data(), value.size());
      if (!rendered->empty()) *rendered += ", ";
      *rendered += key + "=" + text;
      if (key == "CN" && commonName->empty() && !text.empty()) *commonName = text;
    }
  }
}

int Digits(const uint8_t* p, int count) {
  int v = 0;
  for (int i = 0; i < count; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

// DecodeTime reads UTCTime (0x17) or GeneralizedTime (0x18); time-zone suffixes are ignored.
int32_t DecodeTime(uint32_t tag, const uint8_t* p, size_t len) {
  int year, month, day, hour = 0, minute = 0, second = 0;
  if (tag == 0x18) {
    if (len < 12) return 0;
    year = Digits(p, 4);
    month = Digits(p + 4, 2);
    day = Digits(p + 6, 2);
    hour = Digits(p + 8, 2);
    minute = Digits(p + 10, 2);
    if (len > 13) second = Digits(p + 12, 2);
  } else if (tag == 0x17) {
    if (len < 10) return 0;
    int yy = Digits(p, 2);
    year = yy <= 49 ? 2000 + yy : 1900 + yy;
    month = Digits(p + 2, 2);
    day = Digits(p + 4, 2);
    if (len > 11) {
      hour = Digits(p + 6, 2);
      minute = Digits(p + 8, 2);
      second = Digits(p + 10, 2);
    }
  } else {
    return 0;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
  int64_t seconds = DaysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return int32_t(uint32_t(uint64_t(seconds)));  // a 32-bit field: later than 2038 wraps negative
}

void DecodeExtensions(DerReader wrapper, ParsedCertificate* out) {
  DerReader list;
  if (!wrapper.Expect(0x30, &list)) return;
  DerReader extension;
  while (!list.Empty()) {
    if (!list.Expect(0x30, &extension)) return;
    DerReader oid, critical, value;
    if (!extension.Expect(0x06, &oid)) continue;
    (void)extension.Expect(0x01, &critical);
    if (!extension.Expect(0x04, &value)) continue;
    if (oid.size() != 3 || oid.data()[0] != 0x55 || oid.data()[1] != 0x1D) continue;
    if (oid.data()[2] == 0x13) {  // basicConstraints
      DerReader constraints, flag;
      if (value.Expect(0x30, &constraints) && constraints.Expect(0x01, &flag) && flag.size() > 0)
        out->isCa = flag.data()[0] != 0;
    } else if (oid.data()[2] == 0x0F) {  // keyUsage
      DerReader bits;
      if (value.Expect(0x03, &bits) && bits.size() >= 2) {
        uint8_t unused = bits.data()[0];
        if (unused <= 1) out->signatureUsage = (bits.data()[1] >> (6 + unused)) & 1;
      }
    }
  }
}

// ElementTotal gives the size of the DER element at `offset`, or 0 when it is unreadable.
size_t ElementTotal(const uint8_t* data, size_t len, size_t offset) {
  DerElement element;
  size_t cursor = offset;
  if (!DerReadElement(data, len, &cursor, &element)) return 0;
  return element.end - offset;
}

}  // namespace

bool ParseCertificateExact(const uint8_t* data, size_t len, ParsedCertificate* out) {
  *out = ParsedCertificate();
  if (!data || len < kMinimumCertificate) return false;
  DerReader input(data, len), certificate, tbs;
  DerElement whole;
  if (!input.Expect(0x30, &certificate, &whole)) return false;
  if (!certificate.Expect(0x30, &tbs)) return false;

  ParsedCertificate cert;
  DerReader skipped, serial, algorithm, issuer, validity, subject, keyInfo;
  (void)tbs.Expect(0xA0, &skipped);
  if (!tbs.Expect(0x02, &serial)) return false;
  cert.serialHex = HexEncode(serial.data(), serial.size());
  if (!tbs.Expect(0x30, &algorithm)) return false;
  if (!tbs.Expect(0x30, &issuer)) return false;
  DecodeName(issuer, &cert.issuerName, &cert.issuerCommonName);
  if (!tbs.Expect(0x30, &validity)) return false;
  DerElement from, to;
  DerReader fromText, toText;
  if (validity.Next(&from, &fromText) && validity.Next(&to, &toText)) {
    cert.notBefore = DecodeTime(from.tag, fromText.data(), fromText.size());
    cert.notAfter = DecodeTime(to.tag, toText.data(), toText.size());
  }
  if (!tbs.Expect(0x30, &subject)) return false;
  DecodeName(subject, &cert.subjectName, &cert.subjectCommonName);
  if (cert.subjectCommonName.empty()) cert.subjectCommonName = cert.subjectName;
  if (!tbs.Expect(0x30, &keyInfo) || cert.subjectName.empty()) return false;

  DerElement element;
  DerReader contents;
  while (!tbs.Empty() && tbs.Next(&element, &contents))
    if (element.tag == 0xA3) DecodeExtensions(contents, &cert);

  cert.der.assign(data + whole.headerStart, data + whole.end);
  cert.parsed = true;
  *out = std::move(cert);
  return true;
}

bool ParseCertificate(const uint8_t* data, size_t len, ParsedCertificate* out) {
  *out = ParsedCertificate();
  if (!data || len < kMinimumCertificate) return false;
  for (size_t i = 0; i + 5 < len; ++i) {
    if (data[i] != 0x30) continue;
    size_t n = ElementTotal(data, len, i);
    if (n > 2 && n >= 50 && n <= 8192 && ParseCertificateExact(data + i, n, out)) return true;
  }
  if (ParseCertificateExact(data, len, out)) return true;
  int candidates = 0;
  for (size_t i = 0; i + 5 < len; ++i) {
    if (data[i] != 0x30) continue;
    size_t n = ElementTotal(data, len, i);
    if (n <= 49) continue;
    if (ParseCertificateExact(data + i, n, out)) return true;
    if (++candidates >= 24) break;
  }
  return false;
}

std::optional<RsaPublicKey> ExtractRsaPublicKey(const Bytes& der) {
  if (der.size() < kMinimumCertificate) return std::nullopt;
  DerReader input(der.data(), der.size()), certificate, tbs, skipped, keyInfo;
  if (!input.Expect(0x30, &certificate) || !certificate.Expect(0x30, &tbs)) return std::nullopt;
  (void)tbs.Expect(0xA0, &skipped);
  if (!tbs.Expect(0x02, &skipped)) return std::nullopt;
  DerElement element;
  for (int i = 0; i < 4; ++i)
    if (!tbs.Next(&element)) return std::nullopt;
  if (!tbs.Expect(0x30, &keyInfo)) return std::nullopt;
  DerReader algorithm, bits, sequence, modulus, exponent;
  if (!keyInfo.Expect(0x30, &algorithm) || !keyInfo.Expect(0x03, &bits) || bits.size() < 2)
    return std::nullopt;
  DerReader key(bits.data() + 1, bits.size() - 1);
  if (!key.Expect(0x30, &sequence) || !sequence.Expect(0x02, &modulus) || !sequence.Expect(0x02, &exponent) ||
      modulus.size() == 0 || exponent.size() == 0)
    return std::nullopt;
  auto strip = [](const DerReader& integer) {
    size_t skip = 0;
    while (skip + 1 < integer.size() && integer.data()[skip] == 0) ++skip;
    return Bytes(integer.data() + skip, integer.data() + integer.size());
  };
  RsaPublicKey result{strip(modulus), strip(exponent)};
  if (result.modulus.empty()) return std::nullopt;
  return result;
}

std::string DniDigits(const std::string& text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    run = text[i] >= '0' && text[i] <= '9' ? run + 1 : 0;
    if (run == 8) return text.substr(i - 7, 8);
  }
  return {};
}

std::string HolderName(const ParsedCertificate& cert) {
  return cert.subjectCommonName.empty() ? cert.subjectName : cert.subjectCommonName;
}

std::string IssuerShortName(const ParsedCertificate& cert) {
  return cert.issuerCommonName.empty() ? cert.issuerName : cert.issuerCommonName;
}

std::string FormatExpiry(const ParsedCertificate& cert) {
  if (cert.notAfter <= 0) return "--/--/-------- --:--:--";
  const std::tm tm = LocalCalendar(cert.notAfter);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string CertificateLabel(const ParsedCertificate& cert, const std::string& fileLabel) {
  if (cert.isCa) return "Certificado CA emisor";
  if (!fileLabel.empty()) return fileLabel;
  return cert.signatureUsage ? "Firma Digital (DNIe)" : "Certificado DNIe";
}

bool IsExpired(const ParsedCertificate& cert) {
  return cert.parsed && cert.notAfter >= 1 && int64_t(cert.notAfter) < int64_t(std::time(nullptr));
}

std::string SourceText(CertificateSource source) {
  switch (source) {
    case CertificateSource::DNIe: return "DNIe";
    case CertificateSource::WindowsStore: return platform::kStoreSourceText;
    case CertificateSource::Keychain: return "Keychain (macOS)";
    case CertificateSource::Pkcs12: return "PKCS#12";
  }
  return "?";
}
