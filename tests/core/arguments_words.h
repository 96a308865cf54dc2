#pragma once

#include <iterator>
#include <string>

// Arguments that a narrow command line in a Western ANSI code page loses or splits.
inline const char* const kArgumentWords[] = {"C:\\carpeta año\\contrato Ω.pdf", "dos \"palabras\"", ""};
