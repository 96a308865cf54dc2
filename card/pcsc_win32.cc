// winscard.dll: loaded by name on first use; the text entry points are the ANSI ones.
#define NOMINMAX
#include <windows.h>
#include <winscard.h>

namespace pcsc {
namespace {
using ListReadersFn = decltype(&::SCardListReadersA);
using ConnectFn = decltype(&::SCardConnectA);
using StatusFn = decltype(&::SCardStatusA);
constexpr const char* kListReadersName = "SCardListReadersA";
constexpr const char* kConnectName = "SCardConnectA";
constexpr const char* kStatusName = "SCardStatusA";
}  // namespace
}  // namespace pcsc

#include "card/pcsc_binding.inc"
