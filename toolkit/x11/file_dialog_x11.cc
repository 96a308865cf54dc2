#include "toolkit/file_dialog.h"
#include "toolkit/file_open_dialog.h"

namespace Vy {

// X11 has no file dialog of its own: the toolkit's dialog runs in the backend's modal loop.
OpenFileResult ShowOpenFileDialog(const OpenFileRequest& request) {
  VyApp* app = VyApp::Current();
  CFileOpenDialog dialog(app ? app->MainWindow() : nullptr, request);
  int code = dialog.ShowModal();
  if (code == 1) return dialog.Outcome();
  OpenFileResult result;
  if (code < 0) result.error = "No se pudo abrir el dialogo de archivos.";
  return result;
}

}  // namespace Vy
