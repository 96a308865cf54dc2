#pragma once

#include <string>

// RegisterUrlScheme makes `scheme`:// links start this program for the current user: on
// Windows through the HKCU\Software\Classes keys, on Linux through a desktop entry in the
// user's applications folder set as the scheme's default handler. It returns false when the
// scheme is empty, the program's path cannot be had, or anything could not be written.
// Running it again with nothing changed leaves every file as it was.
bool RegisterUrlScheme(const std::string& scheme);
