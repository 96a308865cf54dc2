#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

// PC/SC status codes that the texts below distinguish; 0 is success.
constexpr uint32_t kPcscSuccess = 0;
constexpr uint32_t kPcscReaderUnavailable = 0x80100009;
constexpr uint32_t kPcscSharingViolation = 0x8010000B;
constexpr uint32_t kPcscNoSmartcard = 0x8010000C;
constexpr uint32_t kPcscNoService = 0x8010001D;  // also the answer of a missing entry point
constexpr uint32_t kPcscServiceStopped = 0x8010001E;
constexpr uint32_t kPcscRemovedCard = 0x80100069;

constexpr uint32_t kPcscScopeUser = 0;
constexpr uint32_t kPcscScopeSystem = 2;

// A PC/SC context or card handle as the portable code sees it; 0 means none.
using PcscHandle = uintptr_t;

// The thin wrappers over the platform's PC/SC library. The library is loaded by name on the
// first call of any of them and stays loaded; a missing library or entry point makes every
// wrapper answer kPcscNoService. Only this layer knows the platform's types.
namespace pcsc {

void EnsurePcscLoaded();
// PcscUsable is true when the library loaded with all its entry points.
bool PcscUsable();
// LoadMessage is empty when the binding is complete, else the reason it is not.
const std::string& LoadMessage();

// EstablishContext falls back from the system scope to the user scope once.
uint32_t EstablishContext(uint32_t scope, PcscHandle* context);
void ReleaseContext(PcscHandle context);
// ListReaderNames returns the names in the order the service gives them.
uint32_t ListReaderNames(PcscHandle context, std::vector<std::string>* names);
// Connect shares the reader and accepts T=0 or T=1.
uint32_t Connect(PcscHandle context, const std::string& reader, PcscHandle* card, uint32_t* protocol);
void Disconnect(PcscHandle card);
// CardStatus gives the ATR as upper-case hex, at most 36 bytes of it.
uint32_t CardStatus(PcscHandle card, std::string* atrHex, uint32_t* protocol);
// TransmitRaw sends one command; an empty command is refused without calling the library.
uint32_t TransmitRaw(PcscHandle card, uint32_t protocol, const Bytes& command, Bytes* response);

}  // namespace pcsc

// CardSession is one connection: a context plus the connected card.
struct CardSession {
  PcscHandle context = 0;
  PcscHandle card = 0;
  uint32_t protocol = 0;
};

// OpenCardSession connects to the card in `reader`. It returns an empty text on success;
// otherwise the user's message, with nothing left open.
std::string OpenCardSession(CardSession* session, const std::string& reader);
// CloseCardSession disconnects and releases whatever the session holds.
void CloseCardSession(CardSession* session);

// ListReaders returns the reader names; when there are none, an empty list and the message.
std::vector<std::string> ListReaders(std::string* message);
// ReadReaderAtr returns the ATR of the card in `reader` as hex, or empty when there is none.
std::string ReadReaderAtr(const std::string& reader);

enum class ReaderKind : int32_t { Unknown = 0, Contactless = 1, Contact = 2 };
ReaderKind ClassifyReader(const std::string& name);
// ReaderKindText names a kind for listings ("contacto", "sin contacto", "desconocido").
const char* ReaderKindText(ReaderKind kind);
// DefaultReaderIndex prefers the first contact reader, then the first contactless one, then
// the first; -1 for no readers.
int DefaultReaderIndex(const std::vector<std::string>& names);

std::string ConnectErrorText(uint32_t code);
std::string PcscErrorText(uint32_t code);
