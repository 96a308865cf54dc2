// pcsc-lite: loaded by name (never linked), so a machine without pcscd still runs everything
// else. Its DWORD and LONG are unsigned long and long on 64-bit Linux.
#include <PCSC/winscard.h>

namespace pcsc {
namespace {
using ListReadersFn = decltype(&::SCardListReaders);
using ConnectFn = decltype(&::SCardConnect);
using StatusFn = decltype(&::SCardStatus);
constexpr const char* kListReadersName = "SCardListReaders";
constexpr const char* kConnectName = "SCardConnect";
constexpr const char* kStatusName = "SCardStatus";
}  // namespace
}  // namespace pcsc

#include "card/pcsc_binding.inc"
