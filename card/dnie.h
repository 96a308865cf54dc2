#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "card/apdu.h"
#include "card/transport.h"
#include "core/bytes.h"

// The three DNIe generations, each with its own file layout, PIN format and key references.
enum class DnieProfile : int32_t { V1 = 0, V2 = 1, V3 = 2, Unknown = 3 };

// ProfileName is the display name; any value outside the table is "Tarjeta no identificada".
std::string ProfileName(DnieProfile profile);

// The card identifiers, decoded once from their hex texts.
const Bytes& DnieV1Aid();
const Bytes& DnieV3Aid();
const Bytes& DnieSignatureAid();  // the signature application of DNIe 2.0 and 3.0

// IdentifyDnie decides the generation from the ATR when it is a known one and otherwise by
// selecting the known applications in a fixed order; contactless readers follow their own
// table. A card that matches nothing is DnieProfile::Unknown, with the last probe's status
// word left on the channel.
DnieProfile IdentifyDnie(CardChannel* channel, const std::string& reader, const Bytes& atr);

// OpenedDnie is one card session; the channel talks to `card`, which closes when destroyed.
struct OpenedDnie {
  std::unique_ptr<CardTransport> card;
  CardChannel channel;
  std::string atrHex;  // empty when the card did not give it
  DnieProfile profile = DnieProfile::Unknown;
};

// OpenDnie starts a card operation: it clears the last card error, connects to the card in
// `reader`, reads its ATR and identifies the generation. It returns false, with the session's
// message, when no card could be opened. A card that is no DNIe opens with
// DnieProfile::Unknown; TakeCardError then gives its refusal.
bool OpenDnie(CardConnector& connector, const std::string& reader, OpenedDnie* out, std::string* message);
