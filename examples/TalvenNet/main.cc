// voteauth: the TalvenNet voting authenticator, started by firmatalven:// links.
// "voteauth --registrar" registers that scheme for the current user and ends; "--help" and
// "--version" print and end, so none of the three needs a display.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/arguments.h"
#include "examples/TalvenNet/invocation.h"
#include "examples/TalvenNet/main_window.h"
#include "examples/TalvenNet/url_scheme.h"

namespace {

void PrintHelp() {
  std::printf(
      "voteauth %s: autenticador de voto electrónico TalvenNet con el DNIe.\n\n"
      "Uso:\n"
      "  voteauth \"firmatalven://?reto=RETO&codigo=CODIGO[&host=SERVIDOR]\"\n"
      "  voteauth --registrar    abre los enlaces firmatalven:// con este programa\n"
      "  voteauth --help | --version\n\n"
      "La página de votación abre el programa con su enlace. La ventana muestra el servidor\n"
      "al que se enviará la firma (el habitual es %s) y avisa si el enlace\n"
      "nombra otro. El DNIe firma el reto con su certificado de firma (FIR); el PIN se\n"
      "escribe en la ventana y no se guarda.\n",
      VOTEAUTH_VERSION, kDefaultVoteHost);
}

}  // namespace

int main(int argc, char** argv) {
  Utf8Arguments args(argc, argv);
  argc = args.Count();
  argv = args.Vector();
  const std::string first = argc >= 2 ? argv[1] : "";
  if (first == "--help" || first == "-h" || first == "--version" || first == "--registrar")
    AttachParentConsole();
  if (first == "--help" || first == "-h") {
    PrintHelp();
    return 0;
  }
  if (first == "--version") {
    std::printf("voteauth %s\n", VOTEAUTH_VERSION);
    return 0;
  }
  if (first == "--registrar") {
    if (!RegisterUrlScheme("firmatalven")) {
      std::fprintf(stderr, "voteauth: no se pudo registrar el esquema firmatalven://.\n");
      return 1;
    }
    std::printf("voteauth: esquema firmatalven:// registrado para este usuario.\n");
    return 0;
  }
  Vy::VyApp app(argc, argv, Vy::FrameStyle::kTopLevelOnly);
  if (!app.Backend()) {
    std::fprintf(stderr, "voteauth: no hay pantalla disponible.\n");
    return 1;
  }
  app.SetMainWindow(new CMainWindow(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc)));
  return app.Run();
}
