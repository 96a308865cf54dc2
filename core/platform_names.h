#pragma once

// Names of platform components that appear in user-facing texts. Each has one definition
// per platform (platform_names_win32.cc / platform_names_posix.cc).
namespace platform {
extern const char* const kPcscLibrary;      // "winscard.dll" / "libpcsclite.so.1"
extern const char* const kRenderLibrary;    // "vyrender.dll" / "libvyrender.so"
extern const char* const kStoreSourceText;  // display text of the system certificate store
extern const char* const kStoreEntryName;   // "Windows" / "PKCS#11": list prefix and message word
extern const char* const kStoreSignedNote;  // note after a signature made by the store's key
extern const char* const kPcscService;      // "Smart Card" / "pcscd": the PC/SC service
// The voting guide's line after "verifique el cable USB y que el servicio": the PC/SC
// service as the voter finds it on this system.
extern const char* const kPcscServiceGuide;
}  // namespace platform
