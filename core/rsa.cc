#include "core/rsa.h"

#include "core/sha256.h"
#include "core/text.h"

BigNat BigNat::FromBytes(const uint8_t* data, size_t len) {
  BigNat n;
  n.limbs_.assign((len + 3) / 4, 0);
  for (size_t i = 0; i < len; ++i) {
    size_t pos = len - 1 - i;
    n.limbs_[pos / 4] |= uint32_t(data[i]) << (8 * (pos % 4));
  }
  return n;
}

Bytes BigNat::ToBytes(size_t len) const {
  Bytes out(len, 0);
  for (size_t pos = 0; pos < len; ++pos) {
    size_t limb = pos / 4;
    if (limb < limbs_.size()) out[len - 1 - pos] = uint8_t(limbs_[limb] >> (8 * (pos % 4)));
  }
  return out;
}

size_t BigNat::SignificantLimbs() const {
  size_t n = limbs_.size();
  while (n && limbs_[n - 1] == 0) --n;
  return n;
}

int BigNat::Compare(const BigNat& a, const BigNat& b) {
  size_t na = a.SignificantLimbs(), nb = b.SignificantLimbs();
  if (na != nb) return na > nb ? 1 : -1;
  for (size_t i = na; i-- > 0;)
    if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] > b.limbs_[i] ? 1 : -1;
  return 0;
}

BigNat BigNat::Multiply(const BigNat& a, const BigNat& b) {
  BigNat r;
  r.limbs_.assign(a.limbs_.size() + b.limbs_.size(), 0);
  for (size_t i = 0; i < a.limbs_.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.limbs_.size(); ++j) {
      uint64_t t = uint64_t(a.limbs_[i]) * b.limbs_[j] + r.limbs_[i + j] + carry;
      r.limbs_[i + j] = uint32_t(t);
      carry = t >> 32;
    }
    r.limbs_[i + b.limbs_.size()] = uint32_t(carry);
  }
  return r;
}

BigNat BigNat::Remainder(const BigNat& x, const BigNat& n) {
  size_t nl = n.SignificantLimbs();
  BigNat r;
  if (nl == 1) {
    uint64_t rem = 0;
    for (size_t i = x.limbs_.size(); i-- > 0;) rem = ((rem << 32) | x.limbs_[i]) % n.limbs_[0];
    r.limbs_ = {uint32_t(rem)};
    return r;
  }
  // Shift-and-subtract, one bit of x at a time.
  r.limbs_.assign(nl + 1, 0);
  for (size_t i = x.limbs_.size(); i-- > 0;) {
    for (int bit = 31; bit >= 0; --bit) {
      uint32_t carry = (x.limbs_[i] >> bit) & 1;
      for (uint32_t& limb : r.limbs_) {
        uint32_t next = limb >> 31;
        limb = (limb << 1) | carry;
        carry = next;
      }
      if (Compare(r, n) >= 0) {
        uint64_t borrow = 0;
        for (size_t k = 0; k < r.limbs_.size(); ++k) {
          uint64_t sub = uint64_t(k < nl ? n.limbs_[k] : 0) + borrow;
          borrow = r.limbs_[k] < sub ? 1 : 0;
          r.limbs_[k] = uint32_t(uint64_t(r.limbs_[k]) - sub);
        }
      }
    }
  }
  return r;
}

const Bytes& DigestInfoPrefix() {
  static const Bytes prefix = HexDecode("3031300D060960864801650304020105000420");
  return prefix;
}

bool VerifyRsaPkcs1(const Bytes& modulus, const Bytes& exponent, const Bytes& signature,
                    const Bytes& digestInfo) {
  if (modulus.empty() || exponent.empty()) return false;
  const size_t k = modulus.size();
  const Bytes& t = digestInfo;
  if (signature.size() != k || k < 11 || t.size() + 11 > k) return false;

  Bytes em(k, 0xFF);
  em[0] = 0x00;
  em[1] = 0x01;
  em[k - t.size() - 1] = 0x00;
  std::copy(t.begin(), t.end(), em.end() - t.size());

  BigNat n = BigNat::FromBytes(modulus);
  BigNat e = BigNat::FromBytes(exponent);
  BigNat s = BigNat::FromBytes(signature);
  if (BigNat::Compare(s, n) >= 0) return false;

  BigNat result = BigNat::Remainder(BigNat::FromBytes(Bytes{1}), n);
  BigNat base = BigNat::Remainder(s, n);
  for (size_t i = e.limbs().size(); i-- > 0;) {
    for (int bit = 31; bit >= 0; --bit) {
      result = BigNat::Remainder(BigNat::Multiply(result, result), n);
      if ((e.limbs()[i] >> bit) & 1) result = BigNat::Remainder(BigNat::Multiply(result, base), n);
    }
  }
  return result.ToBytes(k) == em;
}

bool VerifyRsaPkcs1Sha256(const Bytes& modulus, const Bytes& exponent, const Bytes& signature,
                          const uint8_t* data, size_t dataLen) {
  if (!data) return false;
  Bytes t = DigestInfoPrefix();
  Sha256Digest digest = Sha256(data, dataLen);
  t.insert(t.end(), digest.begin(), digest.end());
  return VerifyRsaPkcs1(modulus, exponent, signature, t);
}
