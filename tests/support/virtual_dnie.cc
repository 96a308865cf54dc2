#include "tests/support/virtual_dnie.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

#include "card/pcsc.h"
#include "core/rsa.h"
#include "core/text.h"

namespace testing_support {
namespace {

const Bytes kV1Aid = HexDecode("A0000000770100700A1000F100000100");
const Bytes kV3Aid = HexDecode("A000000077030C60000000FE00000500");
const Bytes kSignatureAid = HexDecode("E828BD080FD25047656E65726963");

// WithTck appends the check byte that an ATR announcing T=1 must end with.
Bytes WithTck(const char* hex) {
  Bytes atr = HexDecode(hex);
  uint8_t tck = 0;
  for (size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
  atr.push_back(tck);
  return atr;
}

Bytes DefaultAtr(DnieGeneration generation, bool contactless) {
  switch (generation) {
    case DnieGeneration::V1:
      return contactless ? WithTck(
                               "3B888001"
                               "4A434F5076323431")
                         : HexDecode("3BDD18008131FE4580F9A0000000770100700A90008B");
    case DnieGeneration::V2:
      return contactless ? HexDecode("3B80800101")
                         : HexDecode("3BDC18FF8191FE1FC38073C821136605036351000250");
    case DnieGeneration::V3:
      return contactless ? WithTck(
                               "3B8F800180738421E0"
                               "0000000000000000000000")
                         : WithTck(
                               "3BD818008131FE45"
                               "5045525544334E49");
  }
  return {};
}

std::atomic<int> signatureFiles{0};

}  // namespace

VirtualDnie::VirtualDnie(DnieGeneration generation, bool contactless, std::string workDir)
    : generation_(generation), workDir_(std::move(workDir)), atr_(DefaultAtr(generation, contactless)) {
  nodes_.push_back({0x3F00, {}, -1, true, {}});
  switch (generation) {
    case DnieGeneration::V1:
      AddNode({0, kV1Aid, 0, true, {}});
      certificateFolder_ = AddNode({0x5015, {}, 0, true, {}});
      break;
    case DnieGeneration::V2: certificateFolder_ = AddNode({0, kSignatureAid, 0, true, {}}); break;
    case DnieGeneration::V3:
      AddNode({0, kV3Aid, 0, true, {}});
      certificateFolder_ = AddNode({0, kSignatureAid, 0, true, {}});
      break;
  }
}

int VirtualDnie::AddNode(Node node) {
  nodes_.push_back(std::move(node));
  return static_cast<int>(nodes_.size() - 1);
}

void VirtualDnie::PutFile(uint16_t fileId, Bytes content) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Node& node : nodes_) {
    if (!node.folder && node.fileId == fileId && node.parent == certificateFolder_) {
      node.content = std::move(content);
      return;
    }
  }
  AddNode({fileId, {}, certificateFolder_, false, std::move(content)});
}

void VirtualDnie::PutCertificates(const Bytes& signature, const Bytes& authentication,
                                  const Bytes& encryption, size_t padding) {
  auto padded = [padding](Bytes der) {
    der.resize(der.size() + padding, 0xFF);
    return der;
  };
  switch (generation_) {
    case DnieGeneration::V1:
      PutFile(0x3402, padded(signature));
      PutFile(0x3401, padded(authentication));
      PutFile(0x3403, padded(encryption));
      break;
    case DnieGeneration::V2:
    case DnieGeneration::V3:
      PutFile(0x001D, padded(signature));
      PutFile(0x001C, padded(authentication));
      PutFile(0x001B, padded(encryption));
      break;
  }
}

void VirtualDnie::SetPin(const std::string& pin, int retries) {
  std::lock_guard<std::mutex> lock(mutex_);
  pin_ = pin;
  maxRetries_ = retries_ = retries;
}

void VirtualDnie::SetKey(uint8_t keyReference, const TestIdentity& identity, SignatureInput accepted) {
  std::lock_guard<std::mutex> lock(mutex_);
  keys_[keyReference] = {identity.keyPem, accepted};
}

void VirtualDnie::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  currentFolder_ = 0;
  currentFile_ = -1;
  verified_ = false;
  environmentKey_ = -1;
  pending_.clear();
}

std::vector<TraceEntry> VirtualDnie::Trace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return trace_;
}

std::vector<std::string> VirtualDnie::CommandsHex() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const TraceEntry& entry : trace_) out.push_back(HexEncode(entry.command));
  return out;
}

int VirtualDnie::CommandCount(uint8_t ins) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return int(std::count_if(trace_.begin(), trace_.end(), [ins](const TraceEntry& e) {
    return e.command.size() >= 2 && e.command[1] == ins;
  }));
}

void VirtualDnie::ClearTrace() {
  std::lock_guard<std::mutex> lock(mutex_);
  trace_.clear();
}

Bytes VirtualDnie::Process(const Bytes& command) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++commands_;
  if (faults.muteAfter >= 0 && commands_ > faults.muteAfter) {
    trace_.push_back({command, {}});
    return {};
  }
  Bytes answer;
  if (command.size() < 4) {
    answer = Status(0x6700);
  } else if (faults.endless61) {
    answer = Bytes(0x10, 0x00);
    Append(&answer, Status(0x6110));
  } else if (faults.denyAll) {
    answer = Status(0x6982);
  } else {
    const uint8_t ins = command[1], p1 = command[2], p2 = command[3];
    // Short APDU cases: 4 bytes (no data, no Le), 5 bytes (Le), or Lc data [Le].
    Bytes data;
    bool withLe = false;
    size_t le = 0;
    bool wellFormed = true;
    if (command.size() == 5) {
      withLe = true;
      le = command[4] ? command[4] : 256;
    } else if (command.size() > 5) {
      const size_t lc = command[4];
      if (command.size() == 5 + lc) {
        data.assign(command.begin() + 5, command.end());
      } else if (command.size() == 6 + lc) {
        data.assign(command.begin() + 5, command.end() - 1);
        withLe = true;
        le = command.back() ? command.back() : 256;
      } else {
        wellFormed = false;
      }
    }
    if (!wellFormed || command[0] != 0x00) {
      answer = Status(wellFormed ? 0x6E00 : 0x6700);
    } else if (ins == 0xC0) {
      if (pending_.empty()) {
        answer = Status(0x6985);
      } else {
        size_t n = std::min({le ? le : 256, pending_.size(), faults.chain61 ? faults.chain61 : size_t{256}});
        answer.assign(pending_.begin(), pending_.begin() + n);
        pending_.erase(pending_.begin(), pending_.begin() + n);
        Append(&answer, pending_.empty() ? Status(pendingSw_)
                                         : Status(0x6100 | std::min<size_t>(pending_.size(), 256) % 256));
      }
    } else {
      pending_.clear();
      switch (ins) {
        case 0xA4: answer = Select(p1, p2, data, withLe); break;
        case 0xB0:
          if (!plainRead_)
            answer = Status(0x6D00);
          else if (p1 & 0x80)
            answer = Status(0x6A86);
          else
            answer = ReadBinary(size_t{p1} << 8 | p2, le, false);
          break;
        case 0xB1:
          if (!oddRead_)
            answer = Status(0x6D00);
          else if (data.size() != 4 || data[0] != 0x54 || data[1] != 0x02)
            answer = Status(0x6A80);
          else
            answer = ReadBinary(size_t{data[2]} << 8 | data[3], le, true);
          break;
        case 0x20: answer = p1 != 0x00 ? Status(0x6A86) : Verify(p2, data); break;
        case 0x22: answer = (p1 != 0x41 || p2 != 0xB6) ? Status(0x6A86) : Environment(data); break;
        case 0x2A: answer = (p1 != 0x9E || p2 != 0x9A) ? Status(0x6A86) : Sign(data); break;
        default: answer = Status(0x6D00);
      }
      // Answers with data go out through Answer(); those came back complete with their SW.
    }
  }
  trace_.push_back({command, answer});
  return answer;
}

Bytes VirtualDnie::Answer(Bytes data, uint16_t sw, bool withLe) {
  if (data.empty()) return Status(sw);
  const size_t piece = !withLe ? 0 : faults.chain61 ? faults.chain61 : data.size();
  if (piece >= data.size()) {
    Append(&data, Status(sw));
    return data;
  }
  // T=0: what was not asked for with Le (or does not fit the chain) waits for GET RESPONSE.
  pending_.assign(data.begin() + piece, data.end());
  pendingSw_ = sw;
  Bytes out(data.begin(), data.begin() + piece);
  Append(&out, Status(0x6100 | std::min<size_t>(pending_.size(), 256) % 256));
  return out;
}

Bytes VirtualDnie::Select(uint8_t p1, uint8_t p2, const Bytes& data, bool withLe) {
  if (!selectP2_.count(p2)) return Status(0x6A86);
  int found = -1;
  if (p1 == 0x04) {
    for (size_t i = 0; i < nodes_.size(); ++i)
      if (!nodes_[i].aid.empty() && nodes_[i].aid == data) found = static_cast<int>(i);
  } else if (p1 == 0x00 || p1 == 0x02) {
    if (data.size() != 2) return Status(0x6A80);
    const uint16_t fileId = uint16_t(data[0] << 8 | data[1]);
    if (fileId == 0x3F00) found = 0;
    for (size_t i = 0; found < 0 && i < nodes_.size(); ++i) {
      const Node& node = nodes_[i];
      if (node.fileId == fileId && node.parent == currentFolder_) found = static_cast<int>(i);
    }
  } else {
    return Status(0x6A86);
  }
  if (found < 0) return Status(0x6A82);
  const Node& node = nodes_[found];
  if (node.folder) {
    currentFolder_ = found;
    currentFile_ = -1;
  } else {
    currentFile_ = found;
  }
  if (p2 == 0x0C) return Status(0x9000);
  Bytes info;
  if (node.folder && !node.aid.empty()) {
    info = {0x84, static_cast<uint8_t>(node.aid.size())};
    Append(&info, node.aid);
  } else {
    info = {0x83, 0x02, static_cast<uint8_t>(node.fileId >> 8), static_cast<uint8_t>(node.fileId)};
    if (!node.folder) {
      const size_t size = node.content.size();
      Append(&info, Bytes{0x80, 0x02, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
    }
  }
  Bytes fci{static_cast<uint8_t>(p2 == 0x04 ? 0x62 : 0x6F), static_cast<uint8_t>(info.size())};
  Append(&fci, info);
  return Answer(fci, 0x9000, withLe);
}

Bytes VirtualDnie::ReadBinary(size_t offset, size_t wanted, bool odd) {
  if (currentFile_ < 0) return Status(0x6986);
  const Bytes& content = nodes_[currentFile_].content;
  if (odd && wanted < 4) return Status(0x6700);
  if (offset >= content.size()) return Status(0x6B00);
  const size_t room = odd ? wanted - 3 : wanted;  // the 53 header takes up to 3 bytes
  const size_t n = std::min(room, content.size() - offset);
  Bytes chunk(content.begin() + offset, content.begin() + offset + n);
  if (n < room && faults.wrongLe && !odd) return Status(0x6C00 | n);
  if (odd) {
    Bytes wrapped{0x53};
    if (n >= 0x80) wrapped.push_back(0x81);
    wrapped.push_back(static_cast<uint8_t>(n));
    Append(&wrapped, chunk);
    chunk = std::move(wrapped);
  }
  return Answer(chunk, n < room ? 0x6282 : 0x9000, true);
}

Bytes VirtualDnie::PinBlock(const std::string& pin) const {
  Bytes block(pin.begin(), pin.end());
  size_t padTo = generation_ == DnieGeneration::V1 ? 8 : generation_ == DnieGeneration::V3 ? 12 : 0;
  if (block.size() < padTo) block.resize(padTo, 0xFF);
  return block;
}

Bytes VirtualDnie::Verify(uint8_t p2, const Bytes& block) {
  const uint8_t expected = generation_ == DnieGeneration::V1   ? 0x04
                           : generation_ == DnieGeneration::V2 ? 0x81
                                                               : 0x03;
  if (p2 != expected) return Status(0x6A88);
  if (retries_ == 0) return Status(0x6983);
  if (block.empty()) return Status(0x63C0 | retries_);
  if (generation_ != DnieGeneration::V2 && block.size() != PinBlock(pin_).size()) return Status(0x6700);
  if (block == PinBlock(pin_)) {
    retries_ = maxRetries_;
    verified_ = true;
    return Status(0x9000);
  }
  verified_ = false;
  --retries_;
  return Status(retries_ == 0 ? 0x6983 : 0x63C0 | retries_);
}

Bytes VirtualDnie::Environment(const Bytes& data) {
  int keyReference = -1;
  for (size_t i = 0; i + 1 < data.size(); i += 2 + data[i + 1]) {
    if ((data[i] == 0x83 || data[i] == 0x84) && data[i + 1] == 1 && i + 2 < data.size())
      keyReference = data[i + 2];
  }
  if (keyReference < 0) return Status(0x6A80);
  if (refusedKeys_.count(static_cast<uint8_t>(keyReference))) return Status(0x6A88);
  environmentKey_ = keyReference;
  return Status(0x9000);
}

Bytes VirtualDnie::Sign(const Bytes& input) {
  if (faults.forgetPin > 0) {
    --faults.forgetPin;
    verified_ = false;
  }
  if (!verified_) return Status(0x6982);
  auto key = keys_.find(static_cast<uint8_t>(environmentKey_));
  if (environmentKey_ < 0 || key == keys_.end()) return Status(0x6A88);
  const Bytes& prefix = DigestInfoPrefix();
  SignatureInput form;
  if (input.size() == 32) {
    form = SignatureInput::BareHash;
  } else if (input.size() == 51 && std::equal(prefix.begin(), prefix.end(), input.begin())) {
    form = SignatureInput::DigestInfo;
  } else {
    return Status(0x6A80);
  }
  Bytes toPad = input;
  if (form != key->second.accepted) {
    if (!faults.wrongFormSigns) return Status(0x6A80);
  } else if (form == SignatureInput::BareHash) {
    toPad = prefix;
    Append(&toPad, input);
  }
  const std::string base =
      workDir_ + "/vcard-" + std::to_string(getpid()) + "-" + std::to_string(++signatureFiles);
  WriteFileBytes(base + ".in", toPad);
  CommandResult run = RunCommand("openssl pkeyutl -sign -inkey " + Quote(key->second.keyPem) + " -in " +
                                 Quote(base + ".in") + " -out " + Quote(base + ".out"));
  Bytes signature = ReadFileBytes(base + ".out");
  std::remove((base + ".in").c_str());
  std::remove((base + ".out").c_str());
  if (run.status != 0 || signature.empty()) return Status(0x6F00);
  // A card that lets its security status lapse (a timer, a reset of the channel) between
  // signatures.
  if (faults.dropAfter > 0 && ++signatures_ == faults.dropAfter) {
    faults.dropAfter = 0;
    verified_ = false;
  }
  return Answer(signature, 0x9000, true);
}

namespace {

TestIdentity IdentityFiles(const std::string& dir, const std::string& name) {
  const std::string base = dir + "/" + name;
  return {base + ".key.pem", base + ".crt.pem", ReadFileBytes(base + ".crt.der")};
}

// MakeIdentities runs the openssl program for every key and certificate (some seconds).
void MakeIdentities(const std::string& dir) {
  TestPki pki(dir);
  // OpenSSL's own attribute names: it skips the ones it does not know without failing.
  const std::string holder = "/C=PE/serialNumber=PNOPE-44556677/SN=QUISPE MAMANI/GN=ANA LUCIA";
  const std::string rsa = "-algorithm RSA -pkeyopt rsa_keygen_bits:2048";
  TestIdentity ca = pki.MakeCa("ECEP-RENIEC-Pruebas");
  pki.MakeLeaf(ca, "firma", holder + "/CN=ANA LUCIA QUISPE MAMANI FIR 44556677");
  pki.MakeLeaf(ca, "autenticacion", holder + "/CN=ANA LUCIA QUISPE MAMANI AUT 44556677", rsa,
               "keyUsage=critical,digitalSignature");
  pki.MakeLeaf(ca, "cifrado", holder + "/CN=ANA LUCIA QUISPE MAMANI CIF 44556677", rsa,
               "keyUsage=critical,keyEncipherment");
  pki.MakeLeaf(ca, "firma-ec", holder + "/CN=ANA LUCIA QUISPE MAMANI FIR EC",
               "-algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  pki.MakeLeaf(ca, "otro", "/C=PE/CN=OTRO TITULAR");
  WriteFileText(dir + "/complete", "");
}

}  // namespace

const DnieIdentities& SharedDnieIdentities() {
  static const DnieIdentities identities = [] {
    // Made once per build tree and shared by the test processes: each suite runs every test in
    // a process of its own. A folder is published whole by renaming it into place.
    // The name changes with what is made, so a build tree does not keep older identities.
    const std::string dir = std::string(VY_BINARY_DIR) + "/tests/dnie-pki-2";
    if (!FileExists(dir + "/complete")) {
      std::string staging = dir + "-" + std::to_string(getpid());
      std::filesystem::create_directories(staging);
      MakeIdentities(staging);
      std::error_code ignored;
      std::filesystem::rename(staging, dir, ignored);
      std::filesystem::remove_all(staging, ignored);
    }
    DnieIdentities ids;
    ids.dir = dir;
    ids.ca = IdentityFiles(dir, "ECEP-RENIEC-Pruebas");
    ids.signature = IdentityFiles(dir, "firma");
    ids.authentication = IdentityFiles(dir, "autenticacion");
    ids.encryption = IdentityFiles(dir, "cifrado");
    ids.ecSignature = IdentityFiles(dir, "firma-ec");
    ids.stranger = IdentityFiles(dir, "otro");
    return ids;
  }();
  return identities;
}

std::unique_ptr<VirtualDnie> MakeDnie(DnieGeneration generation, bool contactless) {
  const DnieIdentities& ids = SharedDnieIdentities();
  auto card = std::make_unique<VirtualDnie>(generation, contactless, ids.dir);
  card->PutCertificates(ids.signature.certDer, ids.authentication.certDer, ids.encryption.certDer, 300);
  card->SetPin("12345678");
  switch (generation) {
    case DnieGeneration::V1: card->SetKey(0x02, ids.signature, SignatureInput::DigestInfo); break;
    case DnieGeneration::V2: card->SetKey(0x81, ids.signature, SignatureInput::DigestInfo); break;
    case DnieGeneration::V3: card->SetKey(0x82, ids.signature, SignatureInput::BareHash); break;
  }
  return card;
}

namespace {

class VirtualTransport : public CardTransport {
 public:
  VirtualTransport(VirtualDnie* card, std::shared_ptr<int> open) : card_(card), open_(std::move(open)) {
    ++*open_;
  }
  ~VirtualTransport() override { --*open_; }
  uint32_t Transmit(const Bytes& command, Bytes* response) override {
    *response = card_->Process(command);
    return response->empty() ? 0x8010000A : kPcscSuccess;  // a mute card times out
  }
  uint32_t Status(std::string* atrHex) override {
    *atrHex = HexEncode(card_->atr());
    return kPcscSuccess;
  }

 private:
  VirtualDnie* card_;
  std::shared_ptr<int> open_;
};

}  // namespace

std::unique_ptr<CardTransport> VirtualConnector::Open(const std::string& reader, std::string* message) {
  message->clear();
  if (reader.empty()) {
    *message = "Elija un lector.";
    return nullptr;
  }
  auto slot = readers_.find(reader);
  if (slot == readers_.end()) {
    *message = PcscErrorText(kPcscReaderUnavailable);
    return nullptr;
  }
  if (!slot->second) {
    *message = ConnectErrorText(kPcscNoSmartcard);
    return nullptr;
  }
  return std::make_unique<VirtualTransport>(slot->second, open_);
}

}  // namespace testing_support
