#include "card/apdu.h"

#include <cstdio>
#include <cstring>

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

namespace {

// StatusWordTexts are the three ways a status word is told: neutrally (traces and trial
// summaries), after a refused VERIFY, and as the operation's first card refusal. In the texts
// "{sw}" stands for the four hex digits, "{n}" for the retry count and "{text}" for the
// neutral text. A null text falls back to kOtherStatus; an empty refusal is no refusal (6282
// ends a file shorter than asked for, 6A82 is a probe that found nothing).
struct StatusWordTexts {
  int32_t statusWord;
  bool anyLowByte;  // the row stands for the whole SW1 family
  const char* neutral;
  const char* pin;
  const char* refusal;
};

constexpr char kPinBlocked[] = "PIN bloqueado: hay que desbloquearlo con el codigo PUK/clave de desbloqueo.";
constexpr char kPinFormat[] = "La tarjeta no admite ese PIN (longitud o formato). SW={sw}";
constexpr char kSecureChannel[] =
    "la tarjeta exige canal seguro (PACE/CAN); introduzca el DNIe con su PIN/CAN. SW={sw}";
constexpr char kUnsupported[] = "comando no soportado por la tarjeta. SW={sw}";

constexpr StatusWordTexts kOtherStatus = {0, false, "SW={sw}", "Verificacion de PIN rechazada: {text}",
                                          "la tarjeta rechazo el comando. SW={sw}"};

constexpr StatusWordTexts kStatusWords[] = {
    {-1, false, "sin respuesta (timeout)", "La tarjeta dejo de responder (timeout).",
     "la tarjeta dejo de responder (timeout); mantenga el DNIe en el lector."},
    {0x9000, false, "OK (9000)", nullptr, ""},
    {0x6282, false, nullptr, nullptr, ""},
    {0x6300, true, "63Cx: quedan {n} intento(s) (SW={sw})", "PIN incorrecto: quedan {n} intento(s).",
     nullptr},
    {0x6700, false, nullptr, kPinFormat, nullptr},
    {0x6982, false, "seguridad no satisficha, hace falta PIN o CAN (6982)",
     "La tarjeta exige canal seguro (CAN) antes de usar la clave (SW=6982).", kSecureChannel},
    {0x6983, false, "PIN bloqueado (6983)", kPinBlocked, nullptr},
    {0x6984, false, nullptr, kPinBlocked, nullptr},
    {0x6985, false, "condiciones de uso no satisfechas (6985)",
     "La tarjeta exige condiciones no satisfechas (SW=6985).", kSecureChannel},
    {0x6A80, false, nullptr, kPinFormat, nullptr},
    {0x6A81, false, "funcion no soportada / referencia inexistente (6A81)", nullptr, kSecureChannel},
    {0x6A82, false, "applet/DF no encontrado (6A82)", nullptr, ""},
    {0x6A86, false, "P1/P2 incorrecto (6A86)", nullptr, nullptr},
    {0x6A88, false, "referencia de datos no encontrada (6A88)", nullptr, nullptr},
    {0x6D00, false, "instruccion no soportada (6D00)", nullptr, kUnsupported},
    {0x6E00, false, nullptr, nullptr, kUnsupported},
};

const StatusWordTexts& RowOf(int32_t sw) {
  for (const StatusWordTexts& row : kStatusWords) {
    if (row.anyLowByte ? sw >= 0 && (sw >> 8) == (row.statusWord >> 8) : sw == row.statusWord) return row;
  }
  return kOtherStatus;
}

std::string Fill(const char* pattern, int32_t sw, const std::string& neutral = {}) {
  std::string out;
  for (const char* p = pattern; *p; ++p) {
    if (std::strncmp(p, "{sw}", 4) == 0) {
      out += HexStatusWord(sw);
      p += 3;
    } else if (std::strncmp(p, "{n}", 3) == 0) {
      out += std::to_string(RetryCount(sw));
      p += 2;
    } else if (std::strncmp(p, "{text}", 6) == 0) {
      out += neutral;
      p += 5;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

std::string StatusWordText(int32_t sw) {
  const char* neutral = RowOf(sw).neutral;
  return Fill(neutral ? neutral : kOtherStatus.neutral, sw);
}

std::string PinErrorText(int32_t sw) {
  const char* pin = RowOf(sw).pin;
  return Fill(pin ? pin : kOtherStatus.pin, sw, StatusWordText(sw));
}

void NoteCardError(const CardChannel& channel) {
  if (!lastCardError.empty()) return;
  const int32_t sw = channel.statusWord;
  const char* refusal = RowOf(sw).refusal;
  lastCardError = Fill(refusal ? refusal : kOtherStatus.refusal, sw);
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
