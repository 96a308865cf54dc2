#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/bytes.h"

// CardTransport is one connected card: everything above the PC/SC binding talks to a card
// through it, so the same code runs against a reader or against a card model in tests.
class CardTransport {
 public:
  virtual ~CardTransport() = default;
  // Transmit sends one command APDU and returns the PC/SC status (0 on success) with the
  // answer, status word included.
  virtual uint32_t Transmit(const Bytes& command, Bytes* response) = 0;
  // Status reads the card's ATR as upper-case hex and returns the PC/SC status.
  virtual uint32_t Status(std::string* atrHex) = 0;
};

// CardConnector opens one card for one user action; the transport closes it when destroyed.
class CardConnector {
 public:
  virtual ~CardConnector() = default;
  // Open returns the connected card, or null with the user's message in `message`.
  virtual std::unique_ptr<CardTransport> Open(const std::string& reader, std::string* message) = 0;
};

// PcscConnector reaches the card through the platform's PC/SC service.
CardConnector& PcscConnector();
