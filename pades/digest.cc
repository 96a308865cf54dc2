#include "pades/digest.h"

#include "core/text.h"
#include "pades/cms_reader.h"

HashKind HashOfDigestOid(const Bytes& oid) {
  if (oid == cms_oid::kSha256) return HashKind::Sha256;
  if (oid == cms_oid::kSha384) return HashKind::Sha384;
  if (oid == cms_oid::kSha512) return HashKind::Sha512;
  return HashKind::Unsupported;
}

HashKind HashOfSignatureOid(const Bytes& signatureOid, const Bytes& digestOid) {
  if (signatureOid == cms_oid::kRsaEncryption) return HashOfDigestOid(digestOid);
  if (signatureOid == cms_oid::kSha256WithRsa) return HashKind::Sha256;
  if (signatureOid == cms_oid::kSha384WithRsa) return HashKind::Sha384;
  if (signatureOid == cms_oid::kSha512WithRsa) return HashKind::Sha512;
  return HashKind::Unsupported;
}

const char* HashName(HashKind kind) {
  switch (kind) {
    case HashKind::Sha256: return "SHA-256";
    case HashKind::Sha384: return "SHA-384";
    case HashKind::Sha512: return "SHA-512";
    case HashKind::Unsupported: break;
  }
  return "?";
}

void Hasher::Update(const void* data, size_t len) {
  if (kind_ == HashKind::Sha256)
    sha256_.Update(data, len);
  else
    sha512_.Update(data, len);
}

Bytes Hasher::Final() {
  if (kind_ == HashKind::Unsupported) return {};
  if (kind_ == HashKind::Sha256) {
    const Sha256Digest d = sha256_.Final();
    return Bytes(d.begin(), d.end());
  }
  return sha512_.Final();
}

Bytes HashOf(HashKind kind, const uint8_t* data, size_t len) {
  Hasher hasher(kind);
  hasher.Update(data, len);
  return hasher.Final();
}

bool VerifyRsaDigest(const RsaPublicKey& key, HashKind kind, const Bytes& digest, const Bytes& signature) {
  // DER DigestInfo headers with a NULL parameter (RFC 8017, 9.2, note 1).
  const char* prefix = kind == HashKind::Sha256   ? "3031300D060960864801650304020105000420"
                       : kind == HashKind::Sha384 ? "3041300D060960864801650304020205000430"
                       : kind == HashKind::Sha512 ? "3051300D060960864801650304020305000440"
                                                  : nullptr;
  if (!prefix) return false;
  Bytes info = HexDecode(prefix);
  Append(&info, digest);
  return VerifyRsaPkcs1(key.modulus, key.exponent, signature, info);
}
