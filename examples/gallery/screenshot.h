#pragma once

#include <string>

// Screenshot renders the gallery off screen with its drop-down opened by a click and the
// mouse resting on the second card, writes the image to `path` (PNG) and returns the exit
// code: 0 written, 1 not, 2 when the platform has no off-screen backend.
int Screenshot(int argc, char** argv, const std::string& path);
