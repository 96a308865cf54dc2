#pragma once

#include <string>

#include "examples/quillmark/arguments.h"
#include "pades/sign.h"

// The long-term levels on the command line: `sign --level` and the `extend` command.

// ReadSignLevel reads sign's --level against --tsa: B-B by default, B-T when --tsa is given;
// B-T and above need --tsa, B-B refuses it. It returns false with the usage message.
bool ReadSignLevel(const Arguments& args, SignatureLevel* level, std::string* error);
// LongTermFor is what a level needs, with the authority at `tsaUrl` and the HTTP client.
LongTermOptions LongTermFor(SignatureLevel level, const std::string& tsaUrl);
// LevelName is "B-B", "B-T", "B-LT" or "B-LTA".
const char* LevelName(SignatureLevel level);

// RunExtend runs `quillmark extend DOC.pdf [--out SALIDA.pdf] --level b-lt|b-lta --tsa URL`.
int RunExtend(const Arguments& args);
