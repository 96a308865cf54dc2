#include "examples/signer/main_window.h"

// The Windows key store shows its own PIN prompt when a key needs one.
const bool kStorePromptsForPin = true;
