#pragma once

#include <string>

// Screenshot shows the gallery staged (CGalleryWindow::Stage), writes the window's image to
// `path` (PNG) and returns the exit code: 0 written, 1 not. Linux renders off screen;
// Windows prints its real window.
int Screenshot(int argc, char** argv, const std::string& path);
