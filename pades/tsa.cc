#include "pades/tsa.h"

#include <random>

#include "core/der.h"
#include "core/sha256.h"
#include "pades/digest.h"
#include "pades/verify.h"

const Bytes kTimeStampingUsage = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x08};

namespace {

Bytes MessageImprint(const Bytes& hash) {
  Bytes oid = DerTlv(0x06, cms_oid::kSha256);
  Bytes null = DerTlv(0x05, Bytes{});
  Bytes algorithm = DerTlv(0x30, {&oid, &null});
  Bytes hashed = DerTlv(0x04, hash);
  return DerTlv(0x30, {&algorithm, &hashed});
}

bool ReadImprint(BerCursor* in, Bytes* algorithm, Bytes* hash) {
  BerCursor imprint, alg;
  BerItem oid, value;
  if (!in->Expect(0x30, &imprint) || !imprint.Expect(0x30, &alg) || !alg.Expect(0x06, nullptr, &oid) ||
      !imprint.Expect(0x04, nullptr, &value))
    return false;
  *algorithm = oid.Content();
  *hash = value.Content();
  return true;
}

// A nonce of 64 random bits, kept positive and minimal as a DER INTEGER.
Bytes RandomNonce() {
  std::random_device random;
  Bytes nonce(8);
  for (uint8_t& b : nonce) b = uint8_t(random());
  nonce[0] = uint8_t((nonce[0] & 0x7F) | 0x01);
  return nonce;
}

}  // namespace

Bytes BuildTimeStampRequest(const Bytes& hash, const Bytes& nonce) {
  Bytes version = DerTlv(0x02, Bytes{1});
  Bytes imprint = MessageImprint(hash);
  Bytes number = DerTlv(0x02, nonce);
  Bytes certReq = DerTlv(0x01, Bytes{0xFF});
  return DerTlv(0x30, {&version, &imprint, &number, &certReq});
}

bool ParseTstInfo(const Bytes& der, TstInfo* out) {
  *out = TstInfo();
  TstInfo info;
  BerCursor input(der.data(), der.size()), tst;
  BerItem item;
  if (!input.Expect(0x30, &tst) || !tst.Expect(0x02) || !tst.Expect(0x06, nullptr, &item)) return false;
  info.policy = item.Content();
  if (!ReadImprint(&tst, &info.imprintAlgorithm, &info.imprint) || !tst.Expect(0x02, nullptr, &item))
    return false;
  info.serial = item.Content();
  if (!tst.Expect(0x18, nullptr, &item)) return false;
  info.genTime.assign(item.content, item.content + item.contentLength);
  if (!ParsePdfDate(info.genTime, &info.genTimeSeconds)) return false;
  uint32_t tag = 0;
  if (tst.PeekTag(&tag) && tag == 0x30 && !tst.Expect(0x30)) return false;  // accuracy
  if (tst.PeekTag(&tag) && tag == 0x01 && !tst.Expect(0x01)) return false;  // ordering
  if (tst.PeekTag(&tag) && tag == 0x02) {
    if (!tst.Expect(0x02, nullptr, &item)) return false;
    info.nonce = item.Content();
  }
  *out = std::move(info);
  return true;
}

namespace {

// CheckToken checks a token whose imprint `matches` approves.
template <typename Matches>
TokenCheck CheckToken(const Bytes& token, Matches matches) {
  TokenCheck out;
  if (!ParseCmsSignedData(token, &out.cms) || out.cms.contentType != cms_oid::kTstInfo || !out.cms.content ||
      !ParseTstInfo(*out.cms.content, &out.info)) {
    out.error = "el sello de tiempo no es un TSTInfo firmado legible.";
    return out;
  }
  if (!matches(out.info)) {
    out.error = "el sello de tiempo no corresponde a esta firma (su huella es de otros datos).";
    return out;
  }
  const HashKind digestKind = HashOfDigestOid(out.cms.signers[0].digestAlgorithm);
  const SignerCheck signer = CheckSigner(out.cms, HashOf(digestKind, *out.cms.content));
  if (signer.status != Integrity::Intact) {
    out.error = "la firma del sello de tiempo no verifica con el certificado de la autoridad (" +
                signer.detail + ").";
    return out;
  }
  out.authority = signer.certificate;
  out.ok = true;
  return out;
}

// CheckResponse reads a TimeStampResp and checks its token with `check` and the nonce.
template <typename Check>
Bytes CheckResponse(const Bytes& response, const Bytes& nonce, std::string* error, Check check) {
  BerCursor input(response.data(), response.size()), resp, statusInfo;
  BerItem status, token;
  if (!input.Expect(0x30, &resp) || !resp.Expect(0x30, &statusInfo) ||
      !statusInfo.Expect(0x02, nullptr, &status) || status.contentLength != 1) {
    *error = "la respuesta de la autoridad de sellado de tiempo no es legible.";
    return {};
  }
  // 0 granted, 1 granted with modifications; the rest refuse (RFC 3161, 2.4.2).
  if (status.content[0] > 1) {
    *error = "la autoridad de sellado de tiempo rechazo la peticion (estado " +
             std::to_string(status.content[0]) + ").";
    return {};
  }
  if (!resp.Expect(0x30, nullptr, &token)) {
    *error = "la respuesta de la autoridad de sellado de tiempo no trae sello.";
    return {};
  }
  const Bytes tokenBytes = token.Whole();
  const TokenCheck checked = check(tokenBytes);
  if (!checked.ok) {
    *error = checked.error;
    return {};
  }
  if (checked.info.nonce != nonce) {
    *error = "el sello de tiempo no lleva el nonce de la peticion (respuesta a otra peticion).";
    return {};
  }
  return tokenBytes;
}

}  // namespace

TokenCheck CheckTimeStampToken(const Bytes& token, const Bytes& data) {
  return CheckToken(token, [&data](const TstInfo& info) {
    const HashKind kind = HashOfDigestOid(info.imprintAlgorithm);
    return kind != HashKind::Unsupported && HashOf(kind, data) == info.imprint;
  });
}

Bytes CheckTimeStampResponse(const Bytes& response, const Bytes& signatureValue, const Bytes& nonce,
                             std::string* error) {
  return CheckResponse(response, nonce, error,
                       [&](const Bytes& token) { return CheckTimeStampToken(token, signatureValue); });
}

Bytes CheckDigestTimeStampResponse(const Bytes& response, const Bytes& digest, const Bytes& nonce,
                                   std::string* error) {
  return CheckResponse(response, nonce, error, [&](const Bytes& token) {
    return CheckToken(token, [&digest](const TstInfo& info) {
      return info.imprintAlgorithm == cms_oid::kSha256 && info.imprint == digest;
    });
  });
}

DigestTimestampCallback MakeDigestTimestampCallback(TimestampPost post) {
  return [post = std::move(post)](const Bytes& digest, std::string* error) -> Bytes {
    const Bytes nonce = RandomNonce();
    Bytes response;
    if (!post(BuildTimeStampRequest(digest, nonce), &response, error)) return {};
    return CheckDigestTimeStampResponse(response, digest, nonce, error);
  };
}

TimestampCallback MakeTimestampCallback(TimestampPost post) {
  return [post = std::move(post)](const Bytes& signatureValue, std::string* error) -> Bytes {
    const Bytes nonce = RandomNonce();
    const Bytes request = BuildTimeStampRequest(Sha256Bytes(signatureValue), nonce);
    Bytes response;
    if (!post(request, &response, error)) return {};
    return CheckTimeStampResponse(response, signatureValue, nonce, error);
  };
}
