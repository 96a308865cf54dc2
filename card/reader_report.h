#pragma once

#include <string>
#include <vector>

#include "card/dnie.h"
#include "card/pcsc.h"
#include "card/transport.h"

// ReaderReport describes one reader for listings: its kind and, when a card is in it, the
// card's ATR and generation.
struct ReaderReport {
  std::string name;
  ReaderKind kind = ReaderKind::Unknown;
  bool isDefault = false;
  bool cardPresent = false;
  std::string atrHex;
  DnieProfile profile = DnieProfile::Unknown;
  std::string message;  // why no card could be asked, when none was
};

// IdentifyCardInReader opens the card only to tell its generation. Without a card to ask it
// returns DnieProfile::Unknown with the session's message.
DnieProfile IdentifyCardInReader(CardConnector& connector, const std::string& reader, std::string* atrHex,
                                 std::string* message);

// DescribeReaders lists the PC/SC readers and asks the card in each. When there are none the
// list is empty and `message` says why.
std::vector<ReaderReport> DescribeReaders(std::string* message);

// DefaultReaderName is the reader a card operation uses when none is named: empty, with the
// reason in `message`, when there is no reader.
std::string DefaultReaderName(std::string* message);
