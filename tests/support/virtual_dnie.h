#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "card/transport.h"
#include "core/bytes.h"
#include "tests/support/test_support.h"

namespace testing_support {

enum class DnieGeneration { V1, V2, V3 };
enum class SignatureInput { DigestInfo, BareHash };

// Misbehaviour a test can switch on.
struct CardFaults {
  size_t chain61 = 0;           // hand out answers in pieces of this size behind 61xx
  bool wrongLe = false;         // answer 6Cxx to a READ BINARY that asks beyond the end
  bool endless61 = false;       // answer 61 10 to every command, GET RESPONSE included
  bool denyAll = false;         // answer 6982 to every command
  int muteAfter = -1;           // stop answering after this many commands
  bool wrongFormSigns = false;  // sign an input of the other form instead of refusing it
  int forgetPin = 0;            // forget the verified PIN before this many signatures
  int dropAfter = 0;            // forget the verified PIN once, after this many signatures
};

// One exchanged command and its answer, as the card saw it.
struct TraceEntry {
  Bytes command;
  Bytes answer;
};

// VirtualDnie models a DNIe of one generation: its applications, file identifiers and ATRs,
// SELECT, READ BINARY (plain and odd), VERIFY with the generation's PIN format and a retry
// counter, MSE SET and PSO COMPUTE DIGITAL SIGNATURE with a real RSA key (through the
// openssl program). Answers follow T=0 habits: data asked for without Le waits behind 61xx.
class VirtualDnie {
 public:
  VirtualDnie(DnieGeneration generation, bool contactless, std::string workDir);

  // PutFile stores a file in the generation's certificate folder (padded as the test likes).
  void PutFile(uint16_t fileId, Bytes content);
  // PutCertificates stores the signature, authentication and encryption certificates in the
  // generation's files, each padded with `padding` bytes of 0xFF.
  void PutCertificates(const Bytes& signature, const Bytes& authentication, const Bytes& encryption,
                       size_t padding = 0);
  void SetPin(const std::string& pin, int retries = 3);
  // SetKey puts the signature key under one key reference, accepting one input form.
  void SetKey(uint8_t keyReference, const TestIdentity& identity, SignatureInput accepted);
  void SetAtr(const Bytes& atr) { atr_ = atr; }
  // AllowSelectP2 limits the P2 values SELECT accepts (others answer 6A86).
  void AllowSelectP2(std::set<uint8_t> values) { selectP2_ = std::move(values); }
  // SupportReads chooses which READ BINARY instructions the card knows (others answer 6D00).
  void SupportReads(bool plain, bool odd) {
    plainRead_ = plain;
    oddRead_ = odd;
  }
  // RefuseEnvironment makes MSE SET answer 6A88 for a key reference.
  void RefuseEnvironment(uint8_t keyReference) { refusedKeys_.insert(keyReference); }

  CardFaults faults;

  const Bytes& atr() const { return atr_; }
  DnieGeneration generation() const { return generation_; }
  int retriesLeft() const { return retries_; }

  // Process answers one command APDU with data and SW1 SW2; empty when the card is mute.
  Bytes Process(const Bytes& command);
  // Reset is the power cycle: nothing selected, PIN no longer verified.
  void Reset();

  std::vector<TraceEntry> Trace() const;
  std::vector<std::string> CommandsHex() const;  // the commands only, as hex
  // CommandCount counts the commands with instruction byte `ins` (0x20 VERIFY, 0x22 MSE,
  // 0x2A PSO) received since the trace was last cleared.
  int CommandCount(uint8_t ins) const;
  void ClearTrace();

 private:
  struct Node {
    uint16_t fileId = 0;
    Bytes aid;  // for applications
    int parent = -1;
    bool folder = true;
    Bytes content;
  };

  Bytes Answer(Bytes data, uint16_t sw, bool withLe);
  Bytes Status(uint16_t sw) { return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)}; }
  Bytes Select(uint8_t p1, uint8_t p2, const Bytes& data, bool withLe);
  Bytes ReadBinary(size_t offset, size_t wanted, bool odd);
  Bytes Verify(uint8_t p2, const Bytes& block);
  Bytes Environment(const Bytes& data);
  Bytes Sign(const Bytes& input);
  int AddNode(Node node);
  int CertificateFolder() const { return certificateFolder_; }
  Bytes PinBlock(const std::string& pin) const;

  DnieGeneration generation_;
  std::string workDir_;
  Bytes atr_;
  std::vector<Node> nodes_;
  int certificateFolder_ = 0;
  int currentFolder_ = 0;
  int currentFile_ = -1;
  std::set<uint8_t> selectP2_{0x00, 0x04, 0x0C};
  std::set<uint8_t> refusedKeys_;
  bool plainRead_ = true;
  bool oddRead_ = true;
  std::string pin_ = "1234";
  int maxRetries_ = 3;
  int retries_ = 3;
  bool verified_ = false;
  struct Key {
    std::string keyPem;
    SignatureInput accepted;
  };
  std::map<uint8_t, Key> keys_;
  int environmentKey_ = -1;
  Bytes pending_;  // data waiting for GET RESPONSE
  uint16_t pendingSw_ = 0x9000;
  int commands_ = 0;
  int signatures_ = 0;
  mutable std::mutex mutex_;
  std::vector<TraceEntry> trace_;
};

// DnieIdentities are a CA and one holder's three card certificates (RSA 2048), plus an EC
// signature certificate and an unrelated RSA one, made once per build tree.
struct DnieIdentities {
  TestIdentity ca;
  TestIdentity signature;
  TestIdentity authentication;
  TestIdentity encryption;
  TestIdentity ecSignature;
  TestIdentity stranger;
  std::string dir;
};
const DnieIdentities& SharedDnieIdentities();

// MakeDnie builds a card of one generation holding the shared identities, with PIN "12345678"
// and the signature key under the generation's usual key reference and input form.
std::unique_ptr<VirtualDnie> MakeDnie(DnieGeneration generation, bool contactless = false);

// VirtualConnector puts virtual cards behind the CardConnector interface, by reader name.
class VirtualConnector : public CardConnector {
 public:
  // Insert puts `card` in `reader`; null leaves the reader empty.
  void Insert(const std::string& reader, VirtualDnie* card) { readers_[reader] = card; }
  std::unique_ptr<CardTransport> Open(const std::string& reader, std::string* message) override;
  int openSessions() const { return *open_; }

 private:
  std::map<std::string, VirtualDnie*> readers_;
  std::shared_ptr<int> open_ = std::make_shared<int>(0);
};

}  // namespace testing_support
