#include "pades/crl.h"

#include <algorithm>

#include "core/der.h"
#include "pades/ocsp.h"

namespace {

constexpr char kUnreadable[] = "no es una CRL legible";

bool ReadTime(DerReader* in, int64_t* out) {
  uint32_t tag = 0;
  DerReader time;
  return in->PeekTag(&tag) && (tag == 0x17 || tag == 0x18) && in->Expect(tag, &time) &&
         DerReadTime(tag, time.data(), time.size(), out);
}

// IsDelta tells a delta list (deltaCRLIndicator) from a complete one; it only lists changes.
bool IsDelta(DerReader extensions) {
  DerReader extension, oid;
  while (!extensions.Empty() && extensions.Expect(0x30, &extension))
    if (extension.Expect(0x06, &oid) && oid.ToBytes() == Bytes{0x55, 0x1D, 0x1B}) return true;
  return false;
}

// FindRevoked walks revokedCertificates for `serial`.
std::string FindRevoked(DerReader revoked, const Bytes& serial, CrlCheck* out) {
  DerReader entry, number;
  while (!revoked.Empty()) {
    if (!revoked.Expect(0x30, &entry) || !entry.Expect(0x02, &number)) return kUnreadable;
    if (number.size() != serial.size() || !std::equal(serial.begin(), serial.end(), number.data())) continue;
    if (!ReadTime(&entry, &out->revocationTime)) return kUnreadable;
    out->revoked = true;
    return "";
  }
  return "";
}

Bytes Whole(const DerReader& within, const DerElement& e) {
  return Bytes(within.data() + e.headerStart, within.data() + e.end);
}

std::string Check(const Bytes& der, const CertificateDetails& cert, const CertificateDetails& issuer,
                  int64_t now, CrlCheck* out) {
  DerReader input(der.data(), der.size()), list, tbs, algorithm, oid, bits, version, skipped;
  DerElement tbsElement, issuerElement;
  if (!input.Expect(0x30, &list) || !list.Expect(0x30, &tbs, &tbsElement) || !list.Expect(0x30, &algorithm) ||
      !algorithm.Expect(0x06, &oid) || !list.Expect(0x03, &bits) || bits.size() < 1)
    return kUnreadable;
  (void)tbs.Expect(0x02, &version);
  if (!tbs.Expect(0x30, &skipped) || !tbs.Expect(0x30, &skipped, &issuerElement) ||
      !ReadTime(&tbs, &out->thisUpdate))
    return kUnreadable;
  int64_t nextUpdate = 0;
  uint32_t tag = 0;
  if (tbs.PeekTag(&tag) && (tag == 0x17 || tag == 0x18)) {
    if (!ReadTime(&tbs, &nextUpdate)) return kUnreadable;
    out->nextUpdate = nextUpdate;
  }
  DerReader revoked;
  const bool hasRevoked = tbs.PeekTag(&tag) && tag == 0x30 && tbs.Expect(0x30, &revoked);
  DerReader wrapper, extensions;
  if (tbs.Expect(0xA0, &wrapper) && wrapper.Expect(0x30, &extensions) && IsDelta(extensions))
    return "es una CRL delta, no la lista completa";

  if (Whole(tbs, issuerElement) != cert.issuer || cert.issuer != issuer.subject)
    return "la emitio otra autoridad, no " + HolderName(issuer.parsed);
  if (issuer.hasKeyUsage && !issuer.crlSign) return HolderName(issuer.parsed) + " no puede firmar CRL";
  const Bytes signature(bits.data() + 1, bits.data() + bits.size());
  if (!VerifiesWith(issuer, oid.ToBytes(), Whole(list, tbsElement), signature))
    return "su firma no verifica con la clave de " + HolderName(issuer.parsed);
  if (now >= 0 && out->thisUpdate > now + kRevocationClockSlack) return "su fecha es posterior a la actual";
  if (now >= 0 && out->nextUpdate && *out->nextUpdate < now - kRevocationClockSlack)
    return "esta caducada (su proxima actualizacion ya paso)";
  return hasRevoked ? FindRevoked(revoked, cert.serial, out) : "";
}

}  // namespace

CrlCheck CheckCrl(const Bytes& crl, const CertificateDetails& cert, const CertificateDetails& issuer,
                  int64_t now) {
  CrlCheck out;
  out.error = Check(crl, cert, issuer, now, &out);
  if (!out.error.empty()) {
    CrlCheck failed;
    failed.error = std::move(out.error);
    return failed;
  }
  out.ok = true;
  return out;
}
