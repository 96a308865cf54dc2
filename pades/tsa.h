#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/bytes.h"
#include "pades/cert_chain.h"
#include "pades/cms_reader.h"
#include "pades/network.h"
#include "pades/sign.h"

// Trusted time stamps (RFC 3161) over a signature value: the request we send, and the checks
// of the authority's answer and of the token it holds. All DER here is our own cursor code;
// the transport is the caller's.

// BuildTimeStampRequest encodes a TimeStampReq for a SHA-256 `hash` with `nonce` (a positive
// big-endian number) that asks for the authority's certificate.
Bytes BuildTimeStampRequest(const Bytes& hash, const Bytes& nonce);

struct TstInfo {
  Bytes policy;
  Bytes imprintAlgorithm;  // OID
  Bytes imprint;
  Bytes serial;
  std::string genTime;  // as written, GeneralizedTime
  int64_t genTimeSeconds = 0;
  Bytes nonce;  // content bytes of the INTEGER; empty when absent
};
// ParseTstInfo reads the TSTInfo a token signs. It returns false when it cannot be read.
bool ParseTstInfo(const Bytes& der, TstInfo* out);

struct TokenCheck {
  bool ok = false;
  std::string error;  // Spanish, the first fault
  TstInfo info;
  CmsSignedData cms;
  CertificateDetails authority;  // the certificate that signed the token
};
// CheckTimeStampToken checks a token (a ContentInfo) over `data`: it is SignedData of a
// TSTInfo whose message imprint is a hash of `data`, and its signature verifies with the
// authority certificate it carries.
TokenCheck CheckTimeStampToken(const Bytes& token, const Bytes& data);

// CheckTimeStampResponse reads a TimeStampResp to the request made with `nonce` for the
// signature value `signatureValue`: the status must be granted, and the token must pass
// CheckTimeStampToken and carry the nonce. It returns the token, or nothing with the Spanish
// reason in `error`.
Bytes CheckTimeStampResponse(const Bytes& response, const Bytes& signatureValue, const Bytes& nonce,
                             std::string* error);

// CheckDigestTimeStampResponse is the same for a token over a SHA-256 `digest` itself (a
// document time stamp's byte ranges), whose imprint must be exactly that digest.
Bytes CheckDigestTimeStampResponse(const Bytes& response, const Bytes& digest, const Bytes& nonce,
                                   std::string* error);

// TimestampPost sends one request body and returns the answer body, or false with a Spanish
// message (the transport's failure or an HTTP error status).
using TimestampPost = std::function<bool(const Bytes& request, Bytes* response, std::string* error)>;
// MakeTimestampCallback asks the authority behind `post` for a token over each signature
// value, with a fresh random nonce, and checks the answer before handing the token over.
TimestampCallback MakeTimestampCallback(TimestampPost post);
// MakeDigestTimestampCallback asks for tokens over digests, for document time stamps.
DigestTimestampCallback MakeDigestTimestampCallback(TimestampPost post);

// The extended key usage an authority's certificate needs (id-kp-timeStamping).
extern const Bytes kTimeStampingUsage;
