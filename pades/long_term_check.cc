#include "pades/long_term_check.h"

#include <algorithm>
#include <optional>

#include "pades/crl.h"
#include "pades/ocsp.h"
#include "pades/stream_decode.h"
#include "pades/validation_data.h"
#include "pades/verify.h"

namespace {

// Chains longer than this are not real hierarchies.
constexpr int kMaxChainLength = 10;
// A revocation list of a large authority is some megabytes; the fetcher refuses more than 10.
constexpr uint64_t kMaxItem = uint64_t(16) << 20;

// StreamBytes reads a stored item's data: unfiltered or FlateDecode, as the store's writers
// leave it.
bool StreamBytes(const PdfObject& object, PdfFile* file, Bytes* out) {
  if (!object.stream || object.dataLength > kMaxItem) return false;
  const std::string raw = file->Read(object.dataStart, size_t(object.dataLength));
  if (raw.size() != object.dataLength) return false;
  const PdfValue* filter = object.value.Get("Filter");
  if (filter && filter->Is(PdfValue::Type::Array) && filter->items.size() == 1) filter = &filter->items[0];
  std::string data;
  if (!filter) {
    data = raw;
  } else if (!filter->IsName("FlateDecode") || object.value.Get("DecodeParms")) {
    return false;
  } else {
    DecodeLimits limits;
    limits.maxOutput = size_t(kMaxItem);
    if (Inflate(raw, limits, &data) != DecodeStatus::Ok) return false;
  }
  out->assign(data.begin(), data.end());
  return true;
}

void ReadItems(PdfRevision* revision, PdfFile* file, const PdfValue& dss, const char* key,
               std::vector<StoredData>* out) {
  const PdfValue* listValue = dss.Get(key);
  if (!listValue) return;
  PdfObject listHolder;
  const PdfValue& list = revision->Resolve(*listValue, &listHolder);
  if (!list.Is(PdfValue::Type::Array)) return;
  for (const PdfValue& item : list.items) {
    PdfObject object;
    std::string error;
    if (!item.Is(PdfValue::Type::Reference) ||
        revision->LoadObject(item.integer, &object, &error) != PdfRevision::Load::Ok)
      continue;
    StoredData data;
    data.end = object.end ? object.end : object.dataStart + object.dataLength;
    if (StreamBytes(object, file, &data.der)) out->push_back(std::move(data));
  }
}

// Answer is what one stored item says of a certificate.
struct Answer {
  bool ok, revoked;
  int64_t revocationTime, thisUpdate;
  std::optional<int64_t> nextUpdate;
};

// Speaks finds the stored answer about `cert` that tells its status at `at`; `revoked` and
// `when` report what it says. An authentic answer that shows it revoked by then settles it,
// whatever answer issued earlier said otherwise: a later list may backdate a compromise.
const StoredData* Speaks(const CertificateDetails& cert, const CertificateDetails& issuer,
                         const StoredValidationData& store, int64_t at, bool* revoked, int64_t* when) {
  const StoredData* unrevoked = nullptr;
  Answer proof{};
  // weigh says whether the answer settles it as revoked.
  auto weigh = [&](const StoredData& item, const Answer& a) {
    if (!a.ok) return false;
    if (a.revoked && a.revocationTime <= at) {
      *revoked = true;
      *when = a.revocationTime;
      return true;
    }
    if (!unrevoked && SpeaksFor(a.thisUpdate, a.nextUpdate, at)) {
      unrevoked = &item;
      proof = a;
    }
    return false;
  };
  for (const StoredData& item : store.ocsps) {
    const OcspCheck c = CheckOcspResponse(item.der, cert, issuer, {}, -1);
    if (weigh(item, {c.ok, c.revoked, c.revocationTime, c.thisUpdate, c.nextUpdate})) return &item;
  }
  for (const StoredData& item : store.crls) {
    const CrlCheck c = CheckCrl(item.der, cert, issuer, -1);
    if (weigh(item, {c.ok, c.revoked, c.revocationTime, c.thisUpdate, c.nextUpdate})) return &item;
  }
  if (unrevoked) {
    *revoked = proof.revoked;  // revoked, if at all, only after `at`
    *when = proof.revocationTime;
  }
  return unrevoked;
}

}  // namespace

StoredValidationData ReadStoredValidationData(PdfRevision* revision, PdfFile* file) {
  StoredValidationData out;
  const PdfValue* root = revision->trailer().Get("Root");
  if (!root) return out;
  PdfObject catalogHolder, dssHolder;
  const PdfValue& catalog = revision->Resolve(*root, &catalogHolder);
  const PdfValue* dssValue = catalog.Get("DSS");
  if (!dssValue) return out;
  const PdfValue& dss = revision->Resolve(*dssValue, &dssHolder);
  ReadItems(revision, file, dss, "Certs", &out.certificates);
  ReadItems(revision, file, dss, "OCSPs", &out.ocsps);
  ReadItems(revision, file, dss, "CRLs", &out.crls);
  return out;
}

RevocationProof ProveFromStore(const CertificateDetails& leaf, const std::vector<Bytes>& pool,
                               const StoredValidationData& store, int64_t at) {
  RevocationProof out;
  std::vector<CertificateDetails> candidates;
  auto add = [&](const Bytes& der) {
    if (CertificateDetails d; ReadCertificateDetails(der, &d)) candidates.push_back(std::move(d));
  };
  for (const Bytes& der : pool) add(der);
  for (const StoredData& item : store.certificates) add(item.der);

  CertificateDetails current = leaf;
  for (int depth = 0; depth < kMaxChainLength; ++depth) {
    if (current.SelfIssued()) return out.complete = out.revoked.empty(), out;
    auto issuer = std::find_if(candidates.begin(), candidates.end(),
                               [&](const CertificateDetails& c) { return IsSignedBy(current, c); });
    if (issuer == candidates.end()) return out;
    if (!current.ocspNoCheck) {
      bool revoked = false;
      int64_t when = 0;
      const StoredData* proof = Speaks(current, *issuer, store, at, &revoked, &when);
      if (!proof) return out;
      out.dataEnd = std::max(out.dataEnd, proof->end);
      if (revoked && when <= at && out.revoked.empty())
        out.revoked =
            "el certificado de " + HolderName(current.parsed) + " fue revocado el " + HumanUtc(when);
    }
    current = *issuer;
  }
  return out;
}
