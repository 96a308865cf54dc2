#include "pades/validation_data.h"

#include <algorithm>
#include <map>
#include <random>

#include "core/sha1.h"
#include "core/text.h"
#include "pades/cert_chain.h"
#include "pades/cms_reader.h"
#include "pades/crl.h"
#include "pades/ocsp.h"
#include "pades/tsa.h"
#include "pades/verify.h"

namespace {

// Chains longer than this are not real hierarchies.
constexpr int kMaxChainLength = 10;

std::string Named(const CertificateDetails& cert) {
  return "el certificado de " + HolderName(cert.parsed);
}

bool IsHttp(const std::string& url) {
  const std::string lower = AsciiLower(url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::vector<std::string> HttpOnly(const std::vector<std::string>& urls) {
  std::vector<std::string> out;
  std::copy_if(urls.begin(), urls.end(), std::back_inserter(out), IsHttp);
  return out;
}

Bytes RandomBytes(size_t count) {
  std::random_device random;
  Bytes out(count);
  for (uint8_t& b : out) b = uint8_t(random());
  return out;
}

// Need is one certificate whose status must be proven, with its issuer.
struct Need {
  size_t cert = 0, issuer = 0;  // indexes into the pool
  int64_t provenTime = 0;       // the latest time any use of it is proven at
};

class Gatherer {
 public:
  Gatherer(const EmbeddedData& embedded, const Network& network, int64_t now)
      : embedded_(embedded), network_(network), now_(now) {
    for (const Bytes& der : embedded.certificates) Add(der);
  }

  bool Run(const std::vector<ValidationSubject>& subjects, ValidationData* out, std::string* error);

 private:
  // Add puts a certificate in the pool once and returns its index, or npos when unreadable.
  size_t Add(const Bytes& der);
  std::string Chain(size_t leaf, int64_t provenTime, std::vector<size_t>* chain);
  std::string FindIssuer(size_t cert, size_t* issuer);
  std::string Prove(const Need& need, ValidationData* out, ValidationData::Entry* entry);
  std::string ProveByOcsp(const Need& need, ValidationData* out, ValidationData::Entry* entry);
  std::string ProveByCrl(const Need& need, ValidationData* out, ValidationData::Entry* entry);
  bool Reuse(const Need& need, ValidationData* out, ValidationData::Entry* entry, std::string* revoked);
  std::string Revoked(const CertificateDetails& cert, bool revoked, int64_t when, int64_t provenTime);
  std::string Fetched(const std::string& what, const std::string& url, const FetchAnswer& answer);

  const EmbeddedData& embedded_;
  const Network& network_;
  int64_t now_;
  std::vector<CertificateDetails> pool_;
  std::vector<Bytes> poolDer_;
  std::map<size_t, Need> needs_;                // by certificate index
  std::map<size_t, std::vector<size_t>> done_;  // proofs already found: indexes of ocsps (+) and crls
  std::map<std::string, Bytes> crlsByUrl_;
};

size_t Gatherer::Add(const Bytes& der) {
  for (size_t i = 0; i < poolDer_.size(); ++i)
    if (poolDer_[i] == der) return i;
  CertificateDetails details;
  if (!ReadCertificateDetails(der, &details)) return std::string::npos;
  pool_.push_back(std::move(details));
  poolDer_.push_back(der);
  return pool_.size() - 1;
}

std::string Gatherer::Fetched(const std::string& what, const std::string& url, const FetchAnswer& answer) {
  if (!answer.error.empty()) return what + " (" + url + ") no respondio: " + answer.error;
  if (answer.status != 200)
    return what + " (" + url + ") respondio con el estado HTTP " + std::to_string(answer.status) + ".";
  return "";
}

std::string Gatherer::FindIssuer(size_t cert, size_t* issuer) {
  auto search = [&] {
    for (size_t i = 0; i < pool_.size(); ++i)
      if (i != cert && IsSignedBy(pool_[cert], pool_[i])) return *issuer = i, true;
    return false;
  };
  if (search()) return "";
  // The issuer's certificate is fetched only when nothing at hand has it (RFC 5280, 4.2.2.1).
  std::string failure;
  for (const std::string& url : HttpOnly(pool_[cert].caIssuerUrls)) {
    if (!network_.get) break;
    const FetchAnswer answer = network_.get(url, "application/pkix-cert");
    if (std::string why = Fetched("el certificado de la autoridad", url, answer); !why.empty()) {
      if (failure.empty()) failure = why;
      continue;
    }
    Add(answer.body);
    if (search()) return "";
  }
  if (!failure.empty()) return failure;
  return "no se encontro el certificado de la autoridad que emitio " + Named(pool_[cert]) + " (" +
         IssuerShortName(pool_[cert].parsed) + ").";
}

std::string Gatherer::Chain(size_t leaf, int64_t provenTime, std::vector<size_t>* chain) {
  size_t current = leaf;
  for (int depth = 0; depth < kMaxChainLength; ++depth) {
    if (std::find(chain->begin(), chain->end(), current) == chain->end()) chain->push_back(current);
    if (pool_[current].SelfIssued()) return "";
    size_t issuer = 0;
    if (std::string why = FindIssuer(current, &issuer); !why.empty()) return why;
    Need& need = needs_[current];
    need.cert = current;
    need.issuer = issuer;
    need.provenTime = std::max(need.provenTime, provenTime);
    current = issuer;
  }
  return "la cadena de " + Named(pool_[leaf]) + " es demasiado larga.";
}

std::string Gatherer::Revoked(const CertificateDetails& cert, bool revoked, int64_t when,
                              int64_t provenTime) {
  // A revocation after the proven time leaves earlier signatures valid; it is kept as evidence.
  if (!revoked || when > provenTime) return "";
  return Named(cert) + " fue revocado el " + HumanUtc(when) + ".";
}

size_t Index(std::vector<Bytes>* list, const Bytes& item) {
  auto it = std::find(list->begin(), list->end(), item);
  if (it != list->end()) return size_t(it - list->begin());
  list->push_back(item);
  return list->size() - 1;
}

void Note(std::vector<size_t>* list, size_t index) {
  if (std::find(list->begin(), list->end(), index) == list->end()) list->push_back(index);
}

// Reuse takes what the document already holds about the certificate at the proven time. Any
// held answer that shows it revoked by then settles it (`revoked`), whatever else is held.
bool Gatherer::Reuse(const Need& need, ValidationData* out, ValidationData::Entry* entry,
                     std::string* revoked) {
  const CertificateDetails &cert = pool_[need.cert], &issuer = pool_[need.issuer];
  const Bytes *ocsp = nullptr, *crl = nullptr;
  Bytes responder;
  for (const Bytes& response : embedded_.ocsps) {
    const OcspCheck check = CheckOcspResponse(response, cert, issuer, {}, -1);
    if (!check.ok) continue;
    *revoked = Revoked(cert, check.revoked, check.revocationTime, need.provenTime);
    if (!revoked->empty()) return false;
    if (!ocsp && SpeaksFor(check.thisUpdate, check.nextUpdate, need.provenTime)) {
      ocsp = &response;
      responder = check.responder;
    }
  }
  for (const Bytes& list : embedded_.crls) {
    const CrlCheck check = CheckCrl(list, cert, issuer, -1);
    if (!check.ok) continue;
    *revoked = Revoked(cert, check.revoked, check.revocationTime, need.provenTime);
    if (!revoked->empty()) return false;
    if (!crl && SpeaksFor(check.thisUpdate, check.nextUpdate, need.provenTime)) crl = &list;
  }
  if (ocsp) {
    Note(&entry->ocsps, Index(&out->ocsps, *ocsp));
    if (!responder.empty()) Note(&entry->certificates, Index(&out->certificates, responder));
  } else if (crl) {
    Note(&entry->crls, Index(&out->crls, *crl));
  }
  return ocsp || crl;
}

std::string Gatherer::ProveByOcsp(const Need& need, ValidationData* out, ValidationData::Entry* entry) {
  const CertificateDetails &cert = pool_[need.cert], &issuer = pool_[need.issuer];
  std::string failure;
  for (const std::string& url : HttpOnly(cert.ocspUrls)) {
    const Bytes nonce = RandomBytes(16);
    const FetchAnswer answer = network_.postOcsp(url, BuildOcspRequest(cert, issuer, nonce));
    std::string why = Fetched("el servicio OCSP", url, answer);
    OcspCheck check;
    if (why.empty()) {
      check = CheckOcspResponse(answer.body, cert, issuer, nonce, now_);
      if (!check.ok)
        why = "la respuesta del servicio OCSP (" + url + ") sobre " + Named(cert) +
              " no es valida: " + check.error + ".";
    }
    if (!why.empty()) {
      if (failure.empty()) failure = why;
      continue;
    }
    if (std::string revoked = Revoked(cert, check.revoked, check.revocationTime, need.provenTime);
        !revoked.empty())
      return revoked;
    Note(&entry->ocsps, Index(&out->ocsps, answer.body));
    if (!check.responder.empty()) Note(&entry->certificates, Index(&out->certificates, check.responder));
    return "";
  }
  return failure;
}

std::string Gatherer::ProveByCrl(const Need& need, ValidationData* out, ValidationData::Entry* entry) {
  const CertificateDetails &cert = pool_[need.cert], &issuer = pool_[need.issuer];
  std::string failure;
  for (const std::string& url : HttpOnly(cert.crlUrls)) {
    std::string why;
    if (!crlsByUrl_.count(url)) {
      const FetchAnswer answer = network_.get(url, "application/pkix-crl");
      why = Fetched("la lista de revocacion", url, answer);
      if (why.empty()) crlsByUrl_[url] = answer.body;
    }
    CrlCheck check;
    if (why.empty()) {
      check = CheckCrl(crlsByUrl_[url], cert, issuer, now_);
      if (!check.ok)
        why = "la lista de revocacion (" + url + ") para " + Named(cert) + " no es valida: " + check.error +
              ".";
    }
    if (!why.empty()) {
      if (failure.empty()) failure = why;
      continue;
    }
    if (std::string revoked = Revoked(cert, check.revoked, check.revocationTime, need.provenTime);
        !revoked.empty())
      return revoked;
    Note(&entry->crls, Index(&out->crls, crlsByUrl_[url]));
    return "";
  }
  return failure;
}

std::string Gatherer::Prove(const Need& need, ValidationData* out, ValidationData::Entry* entry) {
  const CertificateDetails& cert = pool_[need.cert];
  // A responder's own certificate is vouched for by the responder's issuer (RFC 6960, 4.2.2.2.1).
  if (cert.ocspNoCheck) return "";
  if (std::string revoked; Reuse(need, out, entry, &revoked) || !revoked.empty()) return revoked;
  if (!network_.postOcsp || !network_.get)
    return "no hay acceso a la red para comprobar " + Named(cert) + ".";
  if (!HttpOnly(cert.ocspUrls).empty()) return ProveByOcsp(need, out, entry);
  if (!HttpOnly(cert.crlUrls).empty()) return ProveByCrl(need, out, entry);
  return Named(cert) + " no indica ningun servicio de revocacion por HTTP (ni OCSP ni CRL).";
}

bool Gatherer::Run(const std::vector<ValidationSubject>& subjects, ValidationData* out, std::string* error) {
  // First every chain, so that a certificate shared by several subjects is proven once, at the
  // latest time any of them needs.
  std::vector<std::vector<size_t>> chains(subjects.size());
  for (size_t s = 0; s < subjects.size(); ++s) {
    for (const Bytes& der : subjects[s].certificates) Add(der);
    for (const ChainStart& start : subjects[s].leaves) {
      const size_t leaf = Add(start.certificate);
      if (leaf == std::string::npos) return *error = "un certificado de la firma no es legible.", false;
      if (std::string why = Chain(leaf, start.provenTime, &chains[s]); !why.empty())
        return *error = why, false;
    }
  }
  std::map<size_t, ValidationData::Entry> proofs;
  for (size_t s = 0; s < subjects.size(); ++s) {
    ValidationData::Entry entry;
    entry.vriKey = subjects[s].vriKey;
    for (size_t cert : chains[s]) {
      Note(&entry.certificates, Index(&out->certificates, poolDer_[cert]));
      auto need = needs_.find(cert);
      if (need == needs_.end()) continue;
      if (!proofs.count(cert)) {
        ValidationData::Entry proof;
        if (std::string why = Prove(need->second, out, &proof); !why.empty()) return *error = why, false;
        proofs[cert] = proof;
      }
      for (size_t i : proofs[cert].certificates) Note(&entry.certificates, i);
      for (size_t i : proofs[cert].ocsps) Note(&entry.ocsps, i);
      for (size_t i : proofs[cert].crls) Note(&entry.crls, i);
    }
    out->entries.push_back(std::move(entry));
  }
  return true;
}

// SignerCertificate finds the certificate that a SignerInfo names among those carried.
bool SignerCertificate(const CmsSignedData& cms, Bytes* out) {
  const CmsSignerInfo& signer = cms.signers[0];
  for (const Bytes& der : cms.certificates) {
    CertificateDetails details;
    if (!ReadCertificateDetails(der, &details)) continue;
    const bool bySerial =
        !signer.issuer.empty() && details.issuer == signer.issuer && details.serial == signer.serial;
    const bool byKey = !signer.keyId.empty() && details.subjectKeyId == signer.keyId;
    if (bySerial || byKey) return *out = der, true;
  }
  return false;
}

// TokenStart reads a time-stamp token's authority and time.
bool TokenStart(const Bytes& token, ChainStart* out, std::vector<Bytes>* certificates) {
  CmsSignedData cms;
  TstInfo info;
  if (!ParseCmsSignedData(token, &cms) || cms.signers.empty() || cms.contentType != cms_oid::kTstInfo ||
      !cms.content || !ParseTstInfo(*cms.content, &info) || !SignerCertificate(cms, &out->certificate))
    return false;
  out->provenTime = info.genTimeSeconds;
  certificates->insert(certificates->end(), cms.certificates.begin(), cms.certificates.end());
  return true;
}

}  // namespace

bool GatherValidationData(const std::vector<ValidationSubject>& subjects, const EmbeddedData& embedded,
                          const Network& network, int64_t now, ValidationData* out, std::string* error) {
  *out = ValidationData();
  Gatherer gatherer(embedded, network, now);
  if (gatherer.Run(subjects, out, error)) return true;
  *out = ValidationData();
  return false;
}

bool SpeaksFor(int64_t thisUpdate, std::optional<int64_t> nextUpdate, int64_t at) {
  if (thisUpdate + kRevocationClockSlack >= at) return true;
  return nextUpdate && at <= *nextUpdate;
}

std::string VriKey(const Bytes& contents) {
  const Sha1Digest digest = Sha1(contents.data(), contents.size());
  return HexEncode(digest.data(), digest.size());
}

bool SubjectOfContents(const Bytes& contents, int64_t laterTimestamp, ValidationSubject* out, bool* stamped,
                       std::string* error) {
  *out = ValidationSubject();
  *stamped = false;
  out->vriKey = VriKey(contents);
  CmsSignedData cms;
  if (!ParseCmsSignedData(contents, &cms) || cms.signers.empty()) {
    *error = "su /Contents no es un CMS SignedData legible.";
    return false;
  }
  if (cms.contentType == cms_oid::kTstInfo) {
    ChainStart start;
    if (!TokenStart(contents, &start, &out->certificates)) {
      *error = "su sello de tiempo no es legible o no trae el certificado de la autoridad.";
      return false;
    }
    out->leaves.push_back(std::move(start));
    *stamped = true;
    return true;
  }
  ChainStart signer;
  if (!SignerCertificate(cms, &signer.certificate)) {
    *error = "no trae el certificado del firmante.";
    return false;
  }
  out->certificates = cms.certificates;
  signer.provenTime = laterTimestamp;
  for (const Bytes& token : cms.signers[0].timeStampTokens) {
    ChainStart authority;
    if (!TokenStart(token, &authority, &out->certificates)) {
      *error = "su sello de tiempo no es legible o no trae el certificado de la autoridad.";
      return false;
    }
    signer.provenTime = *stamped ? std::min(signer.provenTime, authority.provenTime) : authority.provenTime;
    *stamped = true;
    out->leaves.push_back(std::move(authority));
  }
  out->leaves.insert(out->leaves.begin(), std::move(signer));
  return true;
}
