// voteauth: the TalvenNet voting authenticator, started by firmatalven:// links.
// "voteauth --registrar" registers that scheme for the current user and ends.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/arguments.h"
#include "examples/TalvenNet/main_window.h"
#include "examples/TalvenNet/url_scheme.h"

int main(int argc, char** argv) {
  Utf8Arguments args(argc, argv);
  argc = args.Count();
  argv = args.Vector();
  if (argc >= 2 && std::strcmp(argv[1], "--registrar") == 0) {
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
