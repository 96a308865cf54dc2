#pragma once

#include <cstddef>
#include <optional>

#include "core/bytes.h"

// The detached CMS SignedData (RFC 5652) that goes into /Contents: one signer, one certificate,
// SHA-256 with RSA PKCS#1 v1.5, and the signed attributes a PAdES baseline signature needs
// (ETSI EN 319 122-1: content type, message digest, signing certificate v2).

// SignerKeyInfo is what the SignerInfo needs from the certificate.
struct SignerKeyInfo {
  Bytes issuer;              // the whole issuer Name element
  Bytes serial;              // the whole serialNumber INTEGER element
  size_t modulusLength = 0;  // RSA modulus bytes, without a leading zero
};

// ExtractSignerKeyInfo reads the certificate's issuer, serial number and RSA modulus length. It
// returns nothing when the DER is not a certificate with a key of the RSA shape.
std::optional<SignerKeyInfo> ExtractSignerKeyInfo(const Bytes& certificate);

// BuildSignedAttributes encodes the signed attributes as a DER SET (tag 0x31): the bytes the
// signing callback signs.
Bytes BuildSignedAttributes(const Bytes& digest, const Bytes& certificate, const SignerKeyInfo& key);

// BuildSignedData encodes the ContentInfo with the signed attributes (re-tagged [0]) and the
// signature as given, and the unsigned attributes (a DER SET, re-tagged [1]) when given.
Bytes BuildSignedData(const Bytes& certificate, const SignerKeyInfo& key, const Bytes& signedAttributes,
                      const Bytes& signature, const Bytes* unsignedAttributes = nullptr);

// SignatureTimeStampAttributes encodes the unsigned attributes of a PAdES B-T signature: one
// signature time-stamp token (id-aa-signatureTimeStampToken, RFC 3161 Appendix A).
Bytes SignatureTimeStampAttributes(const Bytes& token);
