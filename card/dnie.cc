#include "card/dnie.h"

#include <algorithm>

#include "card/pcsc.h"
#include "core/text.h"

namespace {

// Identifiers are hex texts decoded once, on first use.
const Bytes& DnieV1ContactAtr() {
  static const Bytes atr = HexDecode("3BDD18008131FE4580F9A0000000770100700A90008B");
  return atr;
}
const Bytes& DnieV2ContactAtr() {
  static const Bytes atr = HexDecode("3BDC18FF8191FE1FC38073C821136605036351000250");
  return atr;
}
const Bytes& DnieV2ContactlessAtr() {
  static const Bytes atr = HexDecode("3B80800101");
  return atr;
}
const Bytes& DnieV3ContactlessAtrPrefix() {
  static const Bytes prefix = HexDecode("3B8F800180738421E0");
  return prefix;
}

DnieProfile IdentifyContact(CardChannel* channel, const Bytes& atr) {
  if (!atr.empty()) {
    if (atr == DnieV1ContactAtr() && SelectByName(channel, DnieV1Aid(), {0x00})) return DnieProfile::V1;
    if (atr == DnieV2ContactAtr()) return DnieProfile::V2;
  }
  if (SelectByName(channel, DnieV3Aid(), {0x0C, 0x00})) return DnieProfile::V3;
  if (SelectByName(channel, DnieV1Aid(), {0x00})) return DnieProfile::V1;
  if (SelectByName(channel, DnieSignatureAid(), {0x04, 0x00})) return DnieProfile::V2;
  return DnieProfile::Unknown;
}

DnieProfile IdentifyContactless(CardChannel* channel, const Bytes& atr) {
  const Bytes& prefix = DnieV3ContactlessAtrPrefix();
  if (atr == DnieV2ContactlessAtr()) return DnieProfile::V2;
  if (atr.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), atr.begin()))
    return DnieProfile::V3;
  if (SelectByName(channel, DnieV3Aid(), {0x0C})) return DnieProfile::V3;
  if (SelectByName(channel, DnieSignatureAid(), {0x0C, 0x04})) return DnieProfile::V2;
  if (SelectByName(channel, DnieV1Aid(), {0x0C})) return DnieProfile::V1;
  return DnieProfile::Unknown;
}

}  // namespace

const Bytes& DnieV1Aid() {
  static const Bytes aid = HexDecode("A0000000770100700A1000F100000100");
  return aid;
}
const Bytes& DnieV3Aid() {
  static const Bytes aid = HexDecode("A000000077030C60000000FE00000500");
  return aid;
}
const Bytes& DnieSignatureAid() {
  static const Bytes aid = HexDecode("E828BD080FD25047656E65726963");
  return aid;
}

std::string ProfileName(DnieProfile profile) {
  switch (profile) {
    case DnieProfile::V1: return "DNIe 1.0 RENIEC";
    case DnieProfile::V2: return "DNIe 2.0 RENIEC";
    case DnieProfile::V3: return "DNIe 3.0 RENIEC";
    default: return "Tarjeta no identificada";
  }
}

DnieProfile IdentifyDnie(CardChannel* channel, const std::string& reader, const Bytes& atr) {
  return ClassifyReader(reader) == ReaderKind::Contactless ? IdentifyContactless(channel, atr)
                                                           : IdentifyContact(channel, atr);
}

bool OpenDnie(CardConnector& connector, const std::string& reader, OpenedDnie* out, std::string* message) {
  ClearCardError();
  *out = OpenedDnie();
  out->card = connector.Open(reader, message);
  if (!out->card) return false;
  if (out->card->Status(&out->atrHex) != kPcscSuccess) out->atrHex.clear();
  out->channel = CardChannel{out->card.get()};
  out->profile = IdentifyDnie(&out->channel, reader, HexDecode(out->atrHex));
  return true;
}
