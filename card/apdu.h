#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "card/transport.h"
#include "core/bytes.h"

// CardChannel carries the commands of one open card: the last status word and the number of
// commands sent, which is capped so that a misbehaving card cannot keep a loop going.
struct CardChannel {
  CardTransport* card = nullptr;  // null: no card
  int32_t statusWord = -1;        // SW1*256+SW2 of the last exchange; -1: no usable answer
  int32_t commandCount = 0;       // every command sent, GET RESPONSE and re-sends included
};

constexpr int32_t kMaxCommandsPerSession = 150;

// Exchange sends one short command and returns its data, following 61xx with GET RESPONSE
// (at most 8 times) and 6Cxx by re-sending with the card's Le. Every failure shows as empty
// data and statusWord -1; past the cap nothing is sent and statusWord keeps its value.
Bytes Exchange(CardChannel* channel, const Bytes& command);

// Command builders: CLA is always 00; data is at most 255 bytes.
Bytes ApduCase2(uint8_t ins, uint8_t p1, uint8_t p2, uint8_t le);
Bytes ApduWithData(uint8_t ins, uint8_t p1, uint8_t p2, const Bytes& data, bool withLe, uint8_t le = 0);

// P2List holds the P2 values a selection tries, in order (at most four).
class P2List {
 public:
  constexpr P2List(std::initializer_list<uint8_t> values) {
    for (uint8_t v : values)
      if (count_ < 4) values_[count_++] = v;
  }
  constexpr const uint8_t* begin() const { return values_; }
  constexpr const uint8_t* end() const { return values_ + count_; }

 private:
  uint8_t values_[4] = {};
  uint8_t count_ = 0;
};

// The command catalogue. A list of P2 values is tried in order, each without and then with
// Le = 00, stopping at the first 9000; they return whether the last answer was 9000.
bool SelectByName(CardChannel* channel, const Bytes& aid, P2List p2List);
bool SelectFile(CardChannel* channel, uint16_t fileId, uint8_t p1, P2List p2List);
bool SelectOnce(CardChannel* channel, const Bytes& aid, uint8_t p1, uint8_t p2);
Bytes ReadBinary(CardChannel* channel, uint16_t offset);
Bytes ReadBinaryOdd(CardChannel* channel, uint16_t offset);
// Verify clears its copy of the PIN block before returning; it returns the status word.
int32_t Verify(CardChannel* channel, uint8_t p2, const Bytes& pinBlock);
int32_t ManageSecurityEnvironment(CardChannel* channel, const Bytes& controlReference);
Bytes ComputeDigitalSignature(CardChannel* channel, const Bytes& input);

// StatusWordText describes a status word neutrally.
std::string StatusWordText(int32_t statusWord);
// PinErrorText is the message for a refused VERIFY.
std::string PinErrorText(int32_t statusWord);
// HexStatusWord gives four upper-case digits of the low 16 bits (-1 gives FFFF).
std::string HexStatusWord(int32_t statusWord);

// The first card refusal of an operation is kept process-wide until the operation that
// reports to the user takes it. NoteCardError keeps an earlier text.
void NoteCardError(const CardChannel& channel);
std::string TakeCardError(const CardChannel& channel);
void ClearCardError();
