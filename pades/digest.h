#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "core/rsa.h"
#include "core/sha256.h"
#include "core/sha512.h"

// The hashes a verifier meets in other people's signatures, named by their OIDs, and the RSA
// PKCS#1 v1.5 check over any of them.

enum class HashKind { Sha256, Sha384, Sha512, Unsupported };

// HashOfDigestOid names a digest algorithm; SHA-1 and anything else are Unsupported.
HashKind HashOfDigestOid(const Bytes& oid);
// HashOfSignatureOid names the hash of an RSA signature algorithm: rsaEncryption takes
// `digestOid`'s, the shaNWithRSAEncryption forms their own. Other algorithms (RSA-PSS, ECDSA,
// SHA-1) are Unsupported.
HashKind HashOfSignatureOid(const Bytes& signatureOid, const Bytes& digestOid);
const char* HashName(HashKind kind);

// Hasher is a streaming hash of one kind.
class Hasher {
 public:
  explicit Hasher(HashKind kind) : kind_(kind), sha512_(kind == HashKind::Sha384) {}
  void Update(const void* data, size_t len);
  Bytes Final();

 private:
  HashKind kind_;
  Sha256Context sha256_;
  Sha512Context sha512_;
};
Bytes HashOf(HashKind kind, const uint8_t* data, size_t len);
inline Bytes HashOf(HashKind kind, const Bytes& data) {
  return HashOf(kind, data.data(), data.size());
}

// VerifyRsaDigest checks an RSA PKCS#1 v1.5 signature over `digest`, a hash of `kind`. It
// returns false for an Unsupported kind.
bool VerifyRsaDigest(const RsaPublicKey& key, HashKind kind, const Bytes& digest, const Bytes& signature);
