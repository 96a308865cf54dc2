// signer: the PDF signer's window. The first argument names the document to open.
#include <cstdio>

#include "core/arguments.h"
#include "examples/signer/main_window.h"

int main(int argc, char** argv) {
  Utf8Arguments args(argc, argv);
  argc = args.Count();
  argv = args.Vector();
  Vy::VyApp app(argc, argv);
  if (!app.Backend()) {
    std::fprintf(stderr, "signer: no hay pantalla donde abrir la ventana (revise DISPLAY).\n");
    return 1;
  }
  auto* window = new CMainWindow;
  if (argc >= 2) window->SetStartPath(argv[1]);
  app.SetMainWindow(window);
  return app.Run();
}
