#pragma once

#include <string>

namespace Vy {

// SaveWindowPng prints the client area of a window (an HWND) into a bitmap, as screen
// capture programs ask a window to, and writes it as a PNG file. It returns false, leaving
// no file behind, when the window has no client area or the file cannot be written.
bool SaveWindowPng(void* hwnd, const std::string& path);

}  // namespace Vy
