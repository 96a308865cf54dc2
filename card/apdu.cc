#include "card/apdu.h"

#include <cstdio>

#include "core/text.h"

namespace {

constexpr int kMaxGetResponse = 8;

std::string lastCardError;

enum class SendResult { Answered, Capped, Failed };

// SendOne transmits one command counted against the cap and splits the answer.
SendResult SendOne(CardChannel* channel, const Bytes& command, Bytes* data, int32_t* statusWord) {
  if (channel->commandCount >= kMaxCommandsPerSession) return SendResult::Capped;
  ++channel->commandCount;
  Bytes answer;
  uint32_t rv = channel->card->Transmit(command, &answer);
  if (rv != 0 || answer.size() < 2) return SendResult::Failed;
  *statusWord = answer[answer.size() - 2] << 8 | answer[answer.size() - 1];
  answer.resize(answer.size() - 2);
  *data = std::move(answer);
  return SendResult::Answered;
}

// HasLe tells whether a short command ends in an Le byte (cases 2 and 4). Only then may a
// 6Cxx answer be followed by re-sending with the card's Le: in a command without Le the last
// byte is data, and replacing it would send other data (for VERIFY, a wrong PIN).
bool HasLe(const Bytes& command) {
  if (command.size() == 5) return true;
  return command.size() > 5 && command.size() == size_t{5} + command[4] + 1;
}

int RetryCount(int32_t statusWord) {
  return statusWord & 0x0F;
}

}  // namespace

Bytes Exchange(CardChannel* channel, const Bytes& command) {
  if (!channel->card || command.empty()) {
    channel->statusWord = -1;
    return {};
  }
  Bytes data;
  int32_t sw = -1;
  switch (SendOne(channel, command, &data, &sw)) {
    case SendResult::Capped: return {};
    case SendResult::Failed: channel->statusWord = -1; return {};
    case SendResult::Answered: break;
  }
  if ((sw >> 8) == 0x6C && HasLe(command)) {
    Bytes again = command;
    again.back() = static_cast<uint8_t>(sw & 0xFF);
    switch (SendOne(channel, again, &data, &sw)) {
      case SendResult::Capped: channel->statusWord = sw; return {};
      case SendResult::Failed: channel->statusWord = -1; return {};
      case SendResult::Answered: break;
    }
  }
  for (int sent = 0;
       (sw >> 8) == 0x61 && sent < kMaxGetResponse && channel->commandCount < kMaxCommandsPerSession;
       ++sent) {
    Bytes more;
    if (SendOne(channel, ApduCase2(0xC0, 0x00, 0x00, static_cast<uint8_t>(sw & 0xFF)), &more, &sw) !=
        SendResult::Answered) {
      channel->statusWord = -1;
      return {};
    }
    Append(&data, more);
  }
  channel->statusWord = sw;
  return data;
}

Bytes ApduCase2(uint8_t ins, uint8_t p1, uint8_t p2, uint8_t le) {
  return {0x00, ins, p1, p2, le};
}

Bytes ApduWithData(uint8_t ins, uint8_t p1, uint8_t p2, const Bytes& data, bool withLe, uint8_t le) {
  Bytes command{0x00, ins, p1, p2, static_cast<uint8_t>(data.size())};
  command.reserve(6 + data.size());
  Append(&command, data);
  if (withLe) command.push_back(le);
  return command;
}

namespace {

// TryP2List sends `data` under each P2 in turn, first without and then with Le = 00.
bool TryP2List(CardChannel* channel, uint8_t p1, const Bytes& data, P2List p2List) {
  for (uint8_t p2 : p2List) {
    for (bool withLe : {false, true}) {
      Exchange(channel, ApduWithData(0xA4, p1, p2, data, withLe));
      if (channel->statusWord == 0x9000) return true;
    }
  }
  return false;
}

}  // namespace

bool SelectByName(CardChannel* channel, const Bytes& aid, P2List p2List) {
  return TryP2List(channel, 0x04, aid, p2List);
}

bool SelectFile(CardChannel* channel, uint16_t fileId, uint8_t p1, P2List p2List) {
  return TryP2List(channel, p1, Bytes{static_cast<uint8_t>(fileId >> 8), static_cast<uint8_t>(fileId)},
                   p2List);
}

bool SelectOnce(CardChannel* channel, const Bytes& aid, uint8_t p1, uint8_t p2) {
  Exchange(channel, ApduWithData(0xA4, p1, p2, aid, true));
  return channel->statusWord == 0x9000;
}

Bytes ReadBinary(CardChannel* channel, uint16_t offset) {
  return Exchange(channel, ApduCase2(0xB0, (offset >> 8) & 0x7F, offset & 0xFF, 0xFF));
}

Bytes ReadBinaryOdd(CardChannel* channel, uint16_t offset) {
  Bytes offsetObject{0x54, 0x02, static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)};
  return Exchange(channel, ApduWithData(0xB1, 0x00, 0x00, offsetObject, true, 0xFF));
}

int32_t Verify(CardChannel* channel, uint8_t p2, const Bytes& pinBlock) {
  Bytes command = ApduWithData(0x20, 0x00, p2, pinBlock, false);
  Exchange(channel, command);
  SecureClear(&command);
  return channel->statusWord;
}

int32_t ManageSecurityEnvironment(CardChannel* channel, const Bytes& controlReference) {
  Exchange(channel, ApduWithData(0x22, 0x41, 0xB6, controlReference, false));
  return channel->statusWord;
}

Bytes ComputeDigitalSignature(CardChannel* channel, const Bytes& input) {
  return Exchange(channel, ApduWithData(0x2A, 0x9E, 0x9A, input, true, 0x00));
}

std::string HexStatusWord(int32_t statusWord) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(statusWord) & 0xFFFF);
  return buf;
}

std::string StatusWordText(int32_t sw) {
  if (sw == -1) return "sin respuesta (timeout)";
  if ((sw >> 8) == 0x63)
    return "63Cx: quedan " + std::to_string(RetryCount(sw)) + " intento(s) (SW=" + HexStatusWord(sw) + ")";
  switch (sw) {
    case 0x9000: return "OK (9000)";
    case 0x6982: return "seguridad no satisficha, hace falta PIN o CAN (6982)";
    case 0x6983: return "PIN bloqueado (6983)";
    case 0x6985: return "condiciones de uso no satisfechas (6985)";
    case 0x6A81: return "funcion no soportada / referencia inexistente (6A81)";
    case 0x6A82: return "applet/DF no encontrado (6A82)";
    case 0x6A86: return "P1/P2 incorrecto (6A86)";
    case 0x6A88: return "referencia de datos no encontrada (6A88)";
    case 0x6D00: return "instruccion no soportada (6D00)";
    default: return "SW=" + HexStatusWord(sw);
  }
}

std::string PinErrorText(int32_t sw) {
  if (sw == -1) return "La tarjeta dejo de responder (timeout).";
  if ((sw >> 8) == 0x63) return "PIN incorrecto: quedan " + std::to_string(RetryCount(sw)) + " intento(s).";
  switch (sw) {
    case 0x6983:
    case 0x6984: return "PIN bloqueado: hay que desbloquearlo con el codigo PUK/clave de desbloqueo.";
    case 0x6982: return "La tarjeta exige canal seguro (CAN) antes de usar la clave (SW=6982).";
    case 0x6985: return "La tarjeta exige condiciones no satisfechas (SW=6985).";
    case 0x6700:
    case 0x6A80: return "La tarjeta no admite ese PIN (longitud o formato). SW=" + HexStatusWord(sw);
    default: return "Verificacion de PIN rechazada: " + StatusWordText(sw);
  }
}

void NoteCardError(const CardChannel& channel) {
  if (!lastCardError.empty()) return;
  const int32_t sw = channel.statusWord;
  switch (sw) {
    case 0x6982:
    case 0x6985:
    case 0x6A81:
      lastCardError = "la tarjeta exige canal seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. SW=" +
                      HexStatusWord(sw);
      break;
    case -1: lastCardError = "la tarjeta dejo de responder (timeout); mantenga el DNIe en el lector."; break;
    case 0x6D00:
    case 0x6E00: lastCardError = "comando no soportado por la tarjeta. SW=" + HexStatusWord(sw); break;
    case 0x9000:
    case 0x6282:
    case 0x6A82: break;
    default: lastCardError = "la tarjeta rechazo el comando. SW=" + HexStatusWord(sw); break;
  }
}

std::string TakeCardError(const CardChannel& channel) {
  if (lastCardError.empty()) NoteCardError(channel);
  std::string text = std::move(lastCardError);
  lastCardError.clear();
  return text;
}

void ClearCardError() {
  lastCardError.clear();
}
