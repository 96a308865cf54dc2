#include "core/platform_names.h"

namespace platform {
const char* const kPcscLibrary = "libpcsclite.so.1";
const char* const kRenderLibrary = "libvyrender.so";
const char* const kStoreSourceText = "PKCS#11 (sistema)";
const char* const kStoreEntryName = "PKCS#11";
const char* const kStoreSignedNote = "Firmado con el modulo PKCS#11 del sistema";
const char* const kPcscService = "pcscd";
const char* const kPcscServiceGuide = "  de tarjetas inteligentes (pcscd) este en ejecucion (Linux).";
}  // namespace platform
