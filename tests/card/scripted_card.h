#pragma once

#include <functional>
#include <string>
#include <vector>

#include "card/transport.h"
#include "core/text.h"

// ScriptedCard answers each command (as hex) through a function and records what it was
// sent; the answer "mute" makes the transmit fail.
class ScriptedCard : public CardTransport {
 public:
  explicit ScriptedCard(std::function<std::string(const std::string&)> answer, std::string atrHex = "")
      : answer_(std::move(answer)), atrHex_(std::move(atrHex)) {}
  uint32_t Transmit(const Bytes& command, Bytes* response) override {
    sent.push_back(HexEncode(command));
    std::string hex = answer_(sent.back());
    if (hex == "mute") return 0x8010000A;
    *response = HexDecode(hex);
    return 0;
  }
  uint32_t Status(std::string* atrHex) override {
    *atrHex = atrHex_;
    return 0;
  }
  std::vector<std::string> sent;
  // Always gives the same answer to every command.
  static std::function<std::string(const std::string&)> Always(std::string hex) {
    return [hex = std::move(hex)](const std::string&) { return hex; };
  }

 private:
  std::function<std::string(const std::string&)> answer_;
  std::string atrHex_;
};
