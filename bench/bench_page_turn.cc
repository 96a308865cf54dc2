// bench_page_turn: how long Page Down takes in the signer, from the key reaching the window to
// the next page on screen, on a private Xvfb. The signer renders the page after the one shown
// on the engine's worker while the reader reads (a pause of 400 ms here), so Page Down only
// paints it; a jump with End to a page nobody rendered ahead is measured beside it. The frame is
// seen when the window's pixels where the page heading sits change. The peer is pdftoppm
// rendering that page at the same width as a whole process. Figures in milliseconds: the least
// and the median.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
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
#include <thread>
#include <vector>

#include "bench/spawn.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// Page Down reads pages 2 to kRead; End then goes to a page never near the view.
constexpr int kPages = 12;
constexpr int kRead = 7;
// Where the top of a page and its heading land in the 900 x 680 window, at the fit width.
constexpr int kRegionX = 60, kRegionY = 130, kRegionWidth = 760, kRegionHeight = 100;

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

// Region reads the pixels where the page heading sits; empty while the window cannot be read.
std::vector<unsigned long> Region(Display* d, Window w) {
  XImage* image = XGetImage(d, w, kRegionX, kRegionY, kRegionWidth, kRegionHeight, AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<unsigned long> pixels;
  pixels.reserve(kRegionWidth * kRegionHeight / 16);
  for (int y = 0; y < kRegionHeight; y += 2)
    for (int x = 0; x < kRegionWidth; x += 8) pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return pixels;
}

// RedBoxShown is true once page 1's red box is drawn (the first frame of the document).
bool RedBoxShown(Display* d, Window w) {
  XImage* image = XGetImage(d, w, 200, 580, 1, 1, AllPlanes, ZPixmap);
  if (!image) return false;
  unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return ((pixel >> 16) & 0xFF) > 180 && ((pixel >> 8) & 0xFF) < 80;
}

void SendKey(Display* d, Window w, KeySym sym) {
  XEvent e{};
  e.xkey.type = KeyPress;
  e.xkey.display = d;
  e.xkey.window = w;
  e.xkey.root = DefaultRootWindow(d);
  e.xkey.keycode = XKeysymToKeycode(d, sym);
  e.xkey.same_screen = True;
  e.xkey.time = CurrentTime;
  XSendEvent(d, w, True, KeyPressMask, &e);
  e.xkey.type = KeyRelease;
  XSendEvent(d, w, True, KeyReleaseMask, &e);
  XFlush(d);
}

// Turn sends the key and returns the milliseconds until the heading region changes.
double Turn(Display* d, Window w, KeySym sym) {
  std::vector<unsigned long> before = Region(d, w);
  auto start = Clock::now();
  SendKey(d, w, sym);
  while (Ms(Clock::now() - start).count() < 5000) {
    std::vector<unsigned long> now = Region(d, w);
    if (!now.empty() && now != before) return Ms(Clock::now() - start).count();
  }
  return -1;
}

// Session starts the signer on the document and turns its pages: every Page Down after a
// reading pause, then one End.
void Session(Display* d, const std::string& pdf, std::vector<double>* pageDowns, std::vector<double>* ends) {
  std::vector<char*> argv = {const_cast<char*>(VY_SIGNER_PROGRAM), const_cast<char*>(pdf.c_str()), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return;
  Window w = 0;
  for (auto start = Clock::now(); Ms(Clock::now() - start).count() < 10000; usleep(1000)) {
    if (!w) w = FindByName(d, DefaultRootWindow(d), "Quillmark 2026");
    if (w && RedBoxShown(d, w)) break;
  }
  if (w) {
    for (int page = 1; page < kRead; ++page) {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the reader reads the page
      pageDowns->push_back(Turn(d, w, XK_Next));
    }
    SendKey(d, w, XK_Home);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ends->push_back(Turn(d, w, XK_End));
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty() || ms.front() < 0) {
    std::printf("%-52s fallo\n", what);
    return;
  }
  std::printf("%-52s %7.1f ms (mediana %.1f ms)\n", what, ms.front(), ms[ms.size() / 2]);
}

}  // namespace

int main() {
  testing_support::Xvfb server("1280x1024x24");
  if (server.display().empty()) {
    std::fprintf(stderr, "bench_page_turn: Xvfb no arranco\n");
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  Display* d = XOpenDisplay(server.display().c_str());
  if (!d) return 1;
  XSetErrorHandler(IgnoreErrors);  // a window may vanish between listing and reading
  char folder[] = "/tmp/bench_page_turn_XXXXXX";
  if (!mkdtemp(folder)) return 1;
  std::string pdf = std::string(folder) + "/muestra.pdf";
  if (!testing_support::WriteSamplePdf(pdf, kPages)) return 1;

  std::vector<double> pageDowns, ends, peer;
  for (int i = 0; i < 3; ++i) Session(d, pdf, &pageDowns, &ends);
  for (int i = 0; i < 7; ++i) {
    Run r = Spawn({"pdftoppm", "-f", "2", "-l", "2", "-scale-to-x", "832", "-scale-to-y", "-1", pdf,
                   std::string(folder) + "/peer"});
    peer.push_back(r.ok ? r.seconds * 1e3 : -1);
  }
  std::printf("Cambio de hoja en el signer (Xvfb, ventana 900 x 680, hojas de 832 px):\n");
  Print("Av Pag a la hoja siguiente (objetivo < 20 ms)", pageDowns);
  Print("Fin a la ultima hoja (sin leerla por delante)", ends);
  Print("pdftoppm, hoja 2 a 832 px (PPM)", peer);
  XCloseDisplay(d);
  std::filesystem::remove_all(folder);
  return 0;
}
