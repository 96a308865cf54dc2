#include "examples/quillmark/long_term_command.h"

#include <cstdio>

#include "core/text.h"
#include "examples/quillmark/commands.h"
#include "examples/quillmark/signing.h"
#include "examples/quillmark/tsa_post.h"
#include "pades/long_term.h"

namespace {

bool ParseLevel(const std::string& text, SignatureLevel* level) {
  const std::string lower = AsciiLower(text);
  const std::pair<const char*, SignatureLevel> names[] = {{"b-b", SignatureLevel::BB},
                                                          {"b-t", SignatureLevel::BT},
                                                          {"b-lt", SignatureLevel::BLT},
                                                          {"b-lta", SignatureLevel::BLTA}};
  for (const auto& [name, value] : names)
    if (lower == name) return *level = value, true;
  return false;
}

}  // namespace

const char* LevelName(SignatureLevel level) {
  switch (level) {
    case SignatureLevel::BB: return "B-B";
    case SignatureLevel::BT: return "B-T";
    case SignatureLevel::BLT: return "B-LT";
    case SignatureLevel::BLTA: return "B-LTA";
  }
  return "";
}

bool ReadSignLevel(const Arguments& args, SignatureLevel* level, std::string* error) {
  const bool tsa = args.Has("--tsa");
  if (tsa && args.Value("--tsa").empty()) return *error = "--tsa necesita la URL de la autoridad.", false;
  *level = tsa ? SignatureLevel::BT : SignatureLevel::BB;
  if (!args.Has("--level")) return true;
  if (!ParseLevel(args.Value("--level"), level))
    return *error = "--level admite b-b, b-t, b-lt o b-lta.", false;
  if (*level == SignatureLevel::BB && tsa)
    return *error = "--level b-b es una firma sin sello de tiempo: quite --tsa o pida b-t.", false;
  if (*level != SignatureLevel::BB && !tsa)
    return *error = std::string("--level ") + args.Value("--level") + " necesita --tsa URL.", false;
  return true;
}

LongTermOptions LongTermFor(SignatureLevel level, const std::string& tsaUrl) {
  LongTermOptions options;
  options.level = level;
  options.network = RevocationNetwork();
  options.documentTimestamp = MakeDigestTimestampCallback(TsaPost(tsaUrl));
  return options;
}

int RunExtend(const Arguments& args) {
  if (args.positional.size() != 1) return UsageError("extend necesita un solo documento PDF.");
  SignatureLevel level = SignatureLevel::BB;
  if (!args.Has("--level") || !ParseLevel(args.Value("--level"), &level) || level < SignatureLevel::BLT)
    return UsageError("extend necesita --level b-lt o --level b-lta.");
  if (args.Value("--tsa").empty())
    return UsageError("extend necesita --tsa URL de la autoridad de sellado de tiempo.");
  if (args.Has("--out") && args.Value("--out").empty()) return UsageError("--out necesita una ruta.");
  const std::string& input = args.positional[0];
  // Without --out the document itself grows: the update only appends, and the new file takes
  // the old one's place in one step once it is complete and checked.
  const std::string output = args.Has("--out") ? args.Value("--out") : input;
  const ExtendResult result = ExtendPdf(input, output, LongTermFor(level, args.Value("--tsa")));
  if (!result.ok) return Fail(result.error);
  std::printf("Ampliado a PAdES %s: %s  (%llu bytes)\n", LevelName(level), output.c_str(),
              static_cast<unsigned long long>(result.size));
  if (result.stampedFirst)
    std::printf(
        "Nota: se anadio primero un sello de tiempo del documento para fechar las firmas que no "
        "tenian sello.\n");
  std::fflush(stdout);
  return kExitOk;
}
