// bench_signer_startup: from starting the signer with a document to the first frame on screen
// that shows page 1, on a private Xvfb. The frame is seen by reading the window's pixels
// where page 1 of the sample has its red box. Beside it, the peer: pdftoppm rendering the same
// page at the same width as a whole process, which is the least a viewer that starts a
// renderer pays. Figures are the least and the median of seven runs, in milliseconds.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/spawn.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/xvfb.h"

namespace {

using Ms = std::chrono::duration<double, std::milli>;

Window FindByName(Display* d, Window root, const char* name) {
  Window parent, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(d, root, &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* title = nullptr;
    if (XFetchName(d, children[i], &title) && title) {
      if (std::strcmp(title, name) == 0) found = children[i];
      XFree(title);
    }
  }
  if (children) XFree(children);
  return found;
}

int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;
}

// PageShown is true once the pixel where page 1's red box lands (900 x 680 window) is red.
bool PageShown(Display* d, Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
  XImage* image = XGetImage(d, w, 200, 580, 1, 1, AllPlanes, ZPixmap);
  if (!image) return false;
  unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF;
  return r > 180 && g < 80;
}

double StartSigner(Display* d, const std::string& program, const std::string& pdf) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(pdf.c_str()), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  double ms = -1;
  Window w = 0;
  while (Ms(std::chrono::steady_clock::now() - start).count() < 10000) {
    if (!w) w = FindByName(d, DefaultRootWindow(d), "Quillmark 2026");
    if (w && PageShown(d, w)) {
      ms = Ms(std::chrono::steady_clock::now() - start).count();
      break;
    }
    usleep(500);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return ms;
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty() || ms.front() < 0) {
    std::printf("%-44s fallo\n", what);
    return;
  }
  std::printf("%-44s %7.1f ms (mediana %.1f ms)\n", what, ms.front(), ms[ms.size() / 2]);
}

}  // namespace

int main() {
  testing_support::Xvfb server("1280x1024x24");
  if (server.display().empty()) {
    std::fprintf(stderr, "bench_signer_startup: Xvfb no arranco\n");
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  Display* d = XOpenDisplay(server.display().c_str());
  if (!d) return 1;
  XSetErrorHandler(IgnoreErrors);  // a window may vanish between listing and reading
  char folder[] = "/tmp/bench_signer_XXXXXX";
  if (!mkdtemp(folder)) return 1;
  std::string pdf = std::string(folder) + "/muestra.pdf";
  if (!testing_support::WriteSamplePdf(pdf, 3)) return 1;

  std::vector<double> ours, peer;
  for (int i = 0; i < 7; ++i) {
    ours.push_back(StartSigner(d, VY_SIGNER_PROGRAM, pdf));
    Run r = Spawn({"pdftoppm", "-f", "1", "-l", "1", "-scale-to-x", "832", "-scale-to-y", "-1", pdf,
                   std::string(folder) + "/peer"});
    peer.push_back(r.ok ? r.seconds * 1e3 : -1);
  }
  std::printf("Arranque hasta la primera imagen de la pagina 1 (Xvfb, ventana 900 x 680):\n");
  Print("signer muestra.pdf (objetivo < 300 ms)", ours);
  Print("pdftoppm, pagina 1 a 832 px (PPM)", peer);
  XCloseDisplay(d);
  std::filesystem::remove_all(folder);
  return 0;
}
