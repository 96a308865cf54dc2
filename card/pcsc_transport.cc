#include "card/pcsc.h"
#include "card/transport.h"

namespace {

class PcscTransport : public CardTransport {
 public:
  explicit PcscTransport(const CardSession& session) : session_(session) {}
  ~PcscTransport() override { CloseCardSession(&session_); }
  PcscTransport(const PcscTransport&) = delete;
  PcscTransport& operator=(const PcscTransport&) = delete;

  uint32_t Transmit(const Bytes& command, Bytes* response) override {
    return pcsc::TransmitRaw(session_.card, session_.protocol, command, response);
  }
  uint32_t Status(std::string* atrHex) override {
    uint32_t protocol = 0;
    return pcsc::CardStatus(session_.card, atrHex, &protocol);
  }

 private:
  CardSession session_;
};

class PcscCardConnector : public CardConnector {
 public:
  std::unique_ptr<CardTransport> Open(const std::string& reader, std::string* message) override {
    CardSession session;
    *message = OpenCardSession(&session, reader);
    if (!message->empty()) return nullptr;
    return std::make_unique<PcscTransport>(session);
  }
};

}  // namespace

CardConnector& PcscConnector() {
  static PcscCardConnector connector;
  return connector;
}
