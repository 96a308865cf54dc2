#include "pades/ocsp.h"

#include <algorithm>

#include "core/der.h"
#include "core/sha1.h"
#include "core/sha256.h"
#include "pades/cms_reader.h"

const Bytes kOcspSigningUsage = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x09};

namespace {

const Bytes kBasicResponse = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x01};
const Bytes kNonce = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x02};
const Bytes kSha1Oid = {0x2B, 0x0E, 0x03, 0x02, 0x1A};

Bytes Whole(const DerReader& within, const DerElement& e) {
  return Bytes(within.data() + e.headerStart, within.data() + e.end);
}

// CertId is a CertID as read: the hash algorithm and the three fields it identifies by.
struct CertId {
  Bytes hashAlgorithm, nameHash, keyHash, serial;
};

bool ReadCertId(DerReader* in, CertId* out) {
  DerReader id, algorithm, oid, name, key, serial;
  if (!in->Expect(0x30, &id) || !id.Expect(0x30, &algorithm) || !algorithm.Expect(0x06, &oid) ||
      !id.Expect(0x04, &name) || !id.Expect(0x04, &key) || !id.Expect(0x02, &serial))
    return false;
  *out = {oid.ToBytes(), name.ToBytes(), key.ToBytes(), serial.ToBytes()};
  return true;
}

// Names is true when `id` names `cert` under `issuer`, with either hash a responder may use.
bool Names(const CertId& id, const CertificateDetails& cert, const CertificateDetails& issuer) {
  Bytes name, key;
  if (id.hashAlgorithm == kSha1Oid) {
    name = Sha1Bytes(issuer.subject), key = Sha1Bytes(issuer.publicKey);
  } else if (id.hashAlgorithm == cms_oid::kSha256) {
    name = Sha256Bytes(issuer.subject), key = Sha256Bytes(issuer.publicKey);
  } else {
    return false;
  }
  return id.nameHash == name && id.keyHash == key && id.serial == cert.serial &&
         cert.issuer == issuer.subject;
}

Bytes NonceExtensions(const Bytes& nonce) {
  Bytes oid = DerTlv(0x06, kNonce);
  Bytes value = DerTlv(0x04, DerTlv(0x04, nonce));
  Bytes extension = DerTlv(0x30, {&oid, &value});
  return DerTlv(0xA2, DerTlv(0x30, extension));
}

// NonceOf returns the extnValue of the nonce extension in an Extensions content, if any.
std::optional<Bytes> NonceOf(DerReader extensions) {
  DerReader extension, oid, critical, value;
  while (!extensions.Empty() && extensions.Expect(0x30, &extension)) {
    if (!extension.Expect(0x06, &oid)) return std::nullopt;
    (void)extension.Expect(0x01, &critical);
    if (!extension.Expect(0x04, &value)) return std::nullopt;
    if (oid.ToBytes() == kNonce) return value.ToBytes();
  }
  return std::nullopt;
}

bool ReadGeneralizedTime(DerReader* in, int64_t* out) {
  DerReader time;
  return in->Expect(0x18, &time) && DerReadTime(0x18, time.data(), time.size(), out);
}

// ResponseData is what the checks need of a BasicOCSPResponse.
struct ResponseData {
  Bytes tbs;  // the signed ResponseData element
  Bytes signatureAlgorithm, signature;
  DerElement responderTag;
  Bytes responderValue;  // byName: the Name element; byKey: the key hash
  int64_t producedAt = 0;
  DerReader responses;
  std::optional<Bytes> nonce;
  std::vector<Bytes> certificates;
};

std::string ReadBasic(const Bytes& der, ResponseData* out) {
  DerReader input(der.data(), der.size()), basic, tbs, algorithm, oid, bits, version;
  DerElement tbsElement;
  if (!input.Expect(0x30, &basic) || !basic.Expect(0x30, &tbs, &tbsElement) ||
      !basic.Expect(0x30, &algorithm) || !algorithm.Expect(0x06, &oid) || !basic.Expect(0x03, &bits) ||
      bits.size() < 1)
    return "no es una respuesta OCSP basica legible";
  out->tbs = Whole(basic, tbsElement);
  out->signatureAlgorithm = oid.ToBytes();
  out->signature.assign(bits.data() + 1, bits.data() + bits.size());
  DerReader certsWrapper, certs;
  DerElement cert;
  DerReader ignored;
  if (basic.Expect(0xA0, &certsWrapper) && certsWrapper.Expect(0x30, &certs))
    while (!certs.Empty() && certs.Next(&cert, &ignored)) out->certificates.push_back(Whole(certs, cert));

  (void)tbs.Expect(0xA0, &version);
  DerReader responderValue;
  if (!tbs.Next(&out->responderTag, &responderValue) || !ReadGeneralizedTime(&tbs, &out->producedAt) ||
      !tbs.Expect(0x30, &out->responses))
    return "no es una respuesta OCSP basica legible";
  if (out->responderTag.tag == 0xA1) {
    DerElement name;
    DerReader nameContent;
    if (!responderValue.Next(&name, &nameContent)) return "no es una respuesta OCSP basica legible";
    out->responderValue = Whole(responderValue, name);
  } else if (out->responderTag.tag == 0xA2) {
    DerReader hash;
    if (!responderValue.Expect(0x04, &hash)) return "no es una respuesta OCSP basica legible";
    out->responderValue = hash.ToBytes();
  } else {
    return "no es una respuesta OCSP basica legible";
  }
  DerReader wrapper, extensions;
  if (tbs.Expect(0xA1, &wrapper) && wrapper.Expect(0x30, &extensions)) out->nonce = NonceOf(extensions);
  return "";
}

bool IsResponder(const ResponseData& data, const CertificateDetails& cert) {
  if (data.responderTag.tag == 0xA1) return data.responderValue == cert.subject;
  return data.responderValue == Sha1Bytes(cert.publicKey);
}

bool ValidAt(const ParsedCertificate& cert, int64_t at) {
  const int64_t notAfter = cert.notAfter < 0 ? int64_t(cert.notAfter) + (int64_t(1) << 32) : cert.notAfter;
  return at >= int64_t(cert.notBefore) && at <= notAfter;
}

// Authenticate finds who signed the answer and checks the signature: the issuer itself, or a
// responder the issuer delegated to (RFC 6960, 4.2.2.2).
std::string Authenticate(const ResponseData& data, const CertificateDetails& issuer, OcspCheck* out) {
  const CertificateDetails* signer = IsResponder(data, issuer) ? &issuer : nullptr;
  CertificateDetails delegated;
  for (size_t i = 0; !signer && i < data.certificates.size(); ++i) {
    if (!ReadCertificateDetails(data.certificates[i], &delegated) || !IsResponder(data, delegated)) continue;
    const bool authorised = IsSignedBy(delegated, issuer) &&
                            std::find(delegated.extendedKeyUsages.begin(), delegated.extendedKeyUsages.end(),
                                      kOcspSigningUsage) != delegated.extendedKeyUsages.end();
    if (!authorised)
      return "la firmo " + HolderName(delegated.parsed) + ", que no es un respondedor autorizado por " +
             HolderName(issuer.parsed);
    if (!ValidAt(delegated.parsed, data.producedAt))
      return "el certificado del respondedor " + HolderName(delegated.parsed) + " no era valido al responder";
    signer = &delegated;
    out->responder = data.certificates[i];
  }
  if (!signer)
    return "no la firma " + HolderName(issuer.parsed) + " ni un respondedor autorizado por esa autoridad";
  if (!VerifiesWith(*signer, data.signatureAlgorithm, data.tbs, data.signature))
    return "su firma no verifica con la clave de " + HolderName(signer->parsed);
  return "";
}

// ReadStatus finds the single response about `cert` and reads its status and times.
std::string ReadStatus(DerReader responses, const CertificateDetails& cert, const CertificateDetails& issuer,
                       OcspCheck* out) {
  DerReader single;
  while (!responses.Empty() && responses.Expect(0x30, &single)) {
    CertId id;
    if (!ReadCertId(&single, &id)) return "no es una respuesta OCSP basica legible";
    if (!Names(id, cert, issuer)) continue;
    DerElement status;
    DerReader statusContent;
    if (!single.Next(&status, &statusContent) || !ReadGeneralizedTime(&single, &out->thisUpdate))
      return "no es una respuesta OCSP basica legible";
    DerReader next;
    int64_t nextUpdate = 0;
    if (single.Expect(0xA0, &next)) {
      if (!ReadGeneralizedTime(&next, &nextUpdate)) return "no es una respuesta OCSP basica legible";
      out->nextUpdate = nextUpdate;
    }
    if (status.tag == 0x80) return "";
    if (status.tag == 0xA1) {
      out->revoked = true;
      return ReadGeneralizedTime(&statusContent, &out->revocationTime)
                 ? ""
                 : "no es una respuesta OCSP basica legible";
    }
    return "el servicio no conoce el certificado (estado desconocido)";
  }
  return "no trae el estado de este certificado";
}

std::string ResponseStatusText(uint8_t status) {
  switch (status) {
    case 1: return "peticion mal formada";
    case 2: return "error interno";
    case 3: return "intentelo mas tarde";
    case 5: return "exige peticion firmada";
    case 6: return "no autorizado";
    default: return "estado " + std::to_string(status);
  }
}

std::string Check(const Bytes& response, const CertificateDetails& cert, const CertificateDetails& issuer,
                  const Bytes& nonce, int64_t now, OcspCheck* out) {
  DerReader input(response.data(), response.size()), outer, status, bytesWrapper, responseBytes, type, octets;
  if (!input.Expect(0x30, &outer) || !outer.Expect(0x0A, &status) || status.size() != 1)
    return "no es una respuesta OCSP legible";
  if (status.data()[0] != 0) return "el servicio respondio \"" + ResponseStatusText(status.data()[0]) + "\"";
  if (!outer.Expect(0xA0, &bytesWrapper) || !bytesWrapper.Expect(0x30, &responseBytes) ||
      !responseBytes.Expect(0x06, &type) || !responseBytes.Expect(0x04, &octets))
    return "no es una respuesta OCSP legible";
  if (type.ToBytes() != kBasicResponse) return "no es una respuesta OCSP basica";
  // `data` views into these bytes, which must outlive it.
  const Bytes basic = octets.ToBytes();
  ResponseData data;
  if (std::string error = ReadBasic(basic, &data); !error.empty()) return error;
  out->producedAt = data.producedAt;
  if (std::string error = Authenticate(data, issuer, out); !error.empty()) return error;
  if (std::string error = ReadStatus(data.responses, cert, issuer, out); !error.empty()) return error;
  if (!nonce.empty() && data.nonce && *data.nonce != DerTlv(0x04, nonce))
    return "no lleva el nonce de la peticion (respuesta a otra peticion)";
  if (now >= 0 && out->thisUpdate > now + kRevocationClockSlack) return "su fecha es posterior a la actual";
  if (now >= 0 && out->nextUpdate && *out->nextUpdate < now - kRevocationClockSlack)
    return "esta caducada (su proxima actualizacion ya paso)";
  return "";
}

}  // namespace

Bytes OcspCertificateId(const CertificateDetails& cert, const CertificateDetails& issuer) {
  Bytes oid = DerTlv(0x06, kSha1Oid);
  Bytes null = DerTlv(0x05, Bytes{});
  Bytes algorithm = DerTlv(0x30, {&oid, &null});
  Bytes name = DerTlv(0x04, Sha1Bytes(issuer.subject));
  Bytes key = DerTlv(0x04, Sha1Bytes(issuer.publicKey));
  Bytes serial = DerTlv(0x02, cert.serial);
  return DerTlv(0x30, {&algorithm, &name, &key, &serial});
}

Bytes BuildOcspRequest(const CertificateDetails& cert, const CertificateDetails& issuer, const Bytes& nonce) {
  Bytes request = DerTlv(0x30, OcspCertificateId(cert, issuer));
  Bytes list = DerTlv(0x30, request);
  Bytes extensions = nonce.empty() ? Bytes{} : NonceExtensions(nonce);
  Bytes tbs = DerTlv(0x30, {&list, &extensions});
  return DerTlv(0x30, tbs);
}

OcspCheck CheckOcspResponse(const Bytes& response, const CertificateDetails& cert,
                            const CertificateDetails& issuer, const Bytes& nonce, int64_t now) {
  OcspCheck out;
  out.error = Check(response, cert, issuer, nonce, now, &out);
  if (!out.error.empty()) {
    OcspCheck failed;
    failed.error = std::move(out.error);
    return failed;
  }
  out.ok = true;
  return out;
}
