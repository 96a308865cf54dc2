// Card answers are untrusted: a card (or anything posing as one) chooses the ATR and every
// answer. The input drives a whole certificate reading: byte 0 picks the reader kind, then a
// length-prefixed ATR, then length-prefixed answers (data and status word) in order; when they
// run out the card stops answering.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "card/dnie_certificates.h"
#include "card/transport.h"
#include "core/text.h"

namespace {

class FuzzedCard : public CardTransport {
 public:
  FuzzedCard(const uint8_t* data, size_t size, std::string atrHex)
      : data_(data), size_(size), atr_(std::move(atrHex)) {}
  uint32_t Transmit(const Bytes&, Bytes* response) override {
    if (pos_ >= size_) return 0x8010000A;
    size_t len = data_[pos_++];
    if (len > size_ - pos_) len = size_ - pos_;
    response->assign(data_ + pos_, data_ + pos_ + len);
    pos_ += len;
    return 0;
  }
  uint32_t Status(std::string* atrHex) override {
    *atrHex = atr_;
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string atr_;
};

class FuzzedConnector : public CardConnector {
 public:
  FuzzedConnector(const uint8_t* data, size_t size, std::string atrHex)
      : data_(data), size_(size), atr_(atrHex) {}
  std::unique_ptr<CardTransport> Open(const std::string&, std::string*) override {
    return std::make_unique<FuzzedCard>(data_, size_, atr_);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  std::string atr_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char* reader = (data[0] & 1) ? "Fuzz PICC Reader" : "Fuzz Contact Reader";
  size_t atrLength = data[1] < size - 2 ? data[1] : size - 2;
  const std::string atr = HexEncode(data + 2, atrLength);
  const size_t start = 2 + atrLength;
  FuzzedConnector connector(data + start, size - start, atr);
  std::string status, atrHex;
  (void)ReadCardCertificates(connector, reader, &status, &atrHex);

  size_t contentStart = 0, contentLength = 0;
  Bytes answer(data, data + size);
  if (OddReadContent(answer, &contentStart, &contentLength) && contentStart + contentLength > size)
    __builtin_trap();
  return 0;
}
