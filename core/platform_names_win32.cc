#include "core/platform_names.h"

namespace platform {
const char* const kPcscLibrary = "winscard.dll";
const char* const kRenderLibrary = "vyrender.dll";
const char* const kStoreSourceText = "Windows (Personal)";
const char* const kStoreEntryName = "Windows";
const char* const kStoreSignedNote = "Firmado con el minidriver de Windows";
const char* const kPcscService = "Smart Card";
const char* const kPcscServiceGuide = "  \"Tarjeta inteligente\" (SCardSvr) este en Ejecucion (Windows).";
}  // namespace platform
