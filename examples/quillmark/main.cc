// quillmark: the command-line signer over the signing engine and the certificate sources.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/arguments.h"
#include "examples/quillmark/commands.h"

namespace {

void PrintHelp() {
  std::printf("Quillmark %s: firma electronica de documentos PDF (PAdES).\n\nUso:\n", QUILLMARK_VERSION);
  for (const Command& command : Commands()) std::printf("  %s\n", command.usage);
  std::printf(
      "  quillmark help ORDEN | ORDEN --help\n"
      "  quillmark --help | --version\n\n"
      "Sin --out ni --out-dir, cada copia firmada se escribe junto a su documento como\n"
      "NOMBRE_firmao.pdf (NOMBRE_firmao2.pdf, ... si ya existe). Las contraseñas y PIN nunca van en\n"
      "la linea de ordenes: se leen de un fichero ('-' para la entrada estandar), de una variable\n"
      "de entorno o se piden en el terminal. 'quillmark certs' numera los certificados que --cert\n"
      "elige. 'quillmark help ORDEN' explica cada orden con ejemplos.\n\n"
      "Estado de salida: 0 firmado, 1 fallo al firmar (algun documento sin firmar), 2 error de uso.\n"
      "verify: 0 todas las firmas integras y confiables, 1 alguna rota o modificada, 3 integras con\n"
      "algun emisor no confiable.\n");
}

// WantsHelp tells whether the words after a command ask for its help.
bool WantsHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words)
    if (word == "--help" || word == "-h") return true;
  return false;
}

// RunHelp is `quillmark help [ORDEN]`.
int RunHelp(const std::vector<std::string>& words) {
  if (words.empty()) {
    PrintHelp();
    return kExitOk;
  }
  const Command* command = words.size() == 1 ? FindCommand(words[0]) : nullptr;
  if (!command)
    return UsageError(words.size() == 1 ? "orden desconocida: " + words[0] : "help admite una sola orden.");
  PrintCommandHelp(*command);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Paths are UTF-8 inside; on Windows they are read again from the wide command line.
  Utf8Arguments arguments(argc, argv);
  argc = arguments.Count();
  argv = arguments.Vector();
  if (argc < 2) return UsageError("falta la orden (sign, sample, certs, verify o readers).");
  const std::string name = argv[1];
  const std::vector<std::string> words(argv + 2, argv + argc);
  if (name == "--help" || name == "-h") {
    PrintHelp();
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("quillmark %s\n", QUILLMARK_VERSION);
    return kExitOk;
  }
  if (name == "help") return RunHelp(words);
  const Command* command = FindCommand(name);
  if (!command) return UsageError("orden desconocida: " + name);
  if (WantsHelp(words)) {
    PrintCommandHelp(*command);
    return kExitOk;
  }
  Arguments args;
  std::string error;
  if (!ParseArguments(words, command->options, &args, &error)) return UsageError(error);
  return command->run(args);
}
