#include "card/pcsc.h"

#include <cstdio>

#include "core/platform_names.h"
#include "core/text.h"

std::string OpenCardSession(CardSession* session, const std::string& reader) {
  CloseCardSession(session);
  uint32_t rv = pcsc::EstablishContext(kPcscScopeSystem, &session->context);
  if (rv != kPcscSuccess) {
    session->context = 0;
    return PcscErrorText(rv);
  }
  if (reader.empty()) {
    CloseCardSession(session);
    return "Elija un lector.";
  }
  rv = pcsc::Connect(session->context, reader, &session->card, &session->protocol);
  if (rv != kPcscSuccess) {
    CloseCardSession(session);
    return ConnectErrorText(rv);
  }
  return {};
}

void CloseCardSession(CardSession* session) {
  if (session->card != 0) pcsc::Disconnect(session->card);
  if (session->context != 0) pcsc::ReleaseContext(session->context);
  *session = CardSession{};
}

std::vector<std::string> ListReaders(std::string* message) {
  message->clear();
  PcscHandle context = 0;
  uint32_t rv = pcsc::EstablishContext(kPcscScopeSystem, &context);
  if (rv != kPcscSuccess) {
    *message = PcscErrorText(rv);
    return {};
  }
  std::vector<std::string> names;
  rv = pcsc::ListReaderNames(context, &names);
  pcsc::ReleaseContext(context);
  if (names.empty()) {
    *message = "No hay lectores de tarjetas conectados.";
  } else if (rv != kPcscSuccess) {
    names.clear();
    *message = PcscErrorText(rv);
  }
  return names;
}

std::string ReadReaderAtr(const std::string& reader) {
  if (reader.empty()) return {};
  CardSession session;
  if (!OpenCardSession(&session, reader).empty()) return {};
  std::string atr;
  uint32_t protocol = 0;
  if (pcsc::CardStatus(session.card, &atr, &protocol) != kPcscSuccess) atr.clear();
  CloseCardSession(&session);
  return atr;
}

ReaderKind ClassifyReader(const std::string& name) {
  static const char* const kContactless[] = {"contactless", "nfc",      "picc",
                                             "proximity",   "wireless", "contact less"};
  static const char* const kContact[] = {"contact", "icc", "sam", "smartcard", "smart card", "chip", "emv"};
  std::string lowered = AsciiLower(name);
  for (const char* word : kContactless)
    if (lowered.find(word) != std::string::npos) return ReaderKind::Contactless;
  for (const char* word : kContact)
    if (lowered.find(word) != std::string::npos) return ReaderKind::Contact;
  return ReaderKind::Unknown;
}

const char* ReaderKindText(ReaderKind kind) {
  switch (kind) {
    case ReaderKind::Contactless: return "sin contacto";
    case ReaderKind::Contact: return "contacto";
    default: return "desconocido";
  }
}

int DefaultReaderIndex(const std::vector<std::string>& names) {
  if (names.empty()) return -1;
  for (ReaderKind wanted : {ReaderKind::Contact, ReaderKind::Contactless})
    for (size_t i = 0; i < names.size(); ++i)
      if (ClassifyReader(names[i]) == wanted) return static_cast<int>(i);
  return 0;
}

std::string ConnectErrorText(uint32_t code) {
  switch (code) {
    case kPcscNoSmartcard:
    case kPcscRemovedCard: return "No hay tarjeta en el lector. Acerque el DNIe y pulse Actualizar.";
    case kPcscSharingViolation: return "Lector ocupado por otra aplicacion.";
    default: return PcscErrorText(code);
  }
}

std::string PcscErrorText(uint32_t code) {
  const std::string service = platform::kPcscService;
  switch (code) {
    case kPcscNoService: {
      std::string text = pcsc::PcscUsable()
                             ? "Servicio PC/SC no disponible (servicio '" + service + "' detenido)."
                             : "Servicio PC/SC no disponible. servicio '" + service + "' detenido.";
      if (!pcsc::LoadMessage().empty()) text += " " + pcsc::LoadMessage();
      return text;
    }
    case kPcscServiceStopped: return "Servicio PC/SC detenido.";
    case kPcscReaderUnavailable: return "Lector no disponible.";
    default: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "Error PC/SC 0x%08lX", static_cast<unsigned long>(code));
      return buf;
    }
  }
}
