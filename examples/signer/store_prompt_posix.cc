#include "examples/signer/main_window.h"

// A PKCS#11 token never asks for its PIN by itself: the signer does.
const bool kStorePromptsForPin = false;
