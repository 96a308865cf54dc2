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
      "  quillmark --help | --version\n\n"
      "Sin --out, la copia firmada se escribe junto al documento como NOMBRE_firmao.pdf\n"
      "(NOMBRE_firmao2.pdf, ... si ya existe). Las contraseñas y PIN nunca van en la linea de\n"
      "ordenes: se leen de un fichero ('-' para la entrada estandar), de una variable de entorno\n"
      "o se piden en el terminal. 'quillmark certs' numera los certificados que --cert elige.\n\n"
      "Estado de salida: 0 firmado, 1 fallo al firmar, 2 error de uso. verify: 0 todas las firmas\n"
      "integras y confiables, 1 alguna rota o modificada, 3 integras con algun emisor no confiable.\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Paths are UTF-8 inside; on Windows they are read again from the wide command line.
  Utf8Arguments arguments(argc, argv);
  argc = arguments.Count();
  argv = arguments.Vector();
  if (argc < 2) return UsageError("falta la orden (sign, sample, certs, verify o readers).");
  std::string name = argv[1];
  if (name == "--help" || name == "-h") {
    PrintHelp();
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("quillmark %s\n", QUILLMARK_VERSION);
    return kExitOk;
  }
  for (const Command& command : Commands()) {
    if (name != command.name) continue;
    Arguments args;
    std::string error;
    if (!ParseArguments(std::vector<std::string>(argv + 2, argv + argc), command.options, &args, &error))
      return UsageError(error);
    return command.run(args);
  }
  return UsageError("orden desconocida: " + name);
}
