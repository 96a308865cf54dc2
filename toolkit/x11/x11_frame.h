#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cairo.h>

namespace Vy {

// CX11Frame holds a window's pixels as a Cairo image on the usual 24-bit visual and sends them
// to the window. When the X server shares memory with this process (MIT-SHM) the server reads
// the pixels in place; otherwise they go through the connection.
class CX11Frame {
 public:
  explicit CX11Frame(Display* display) : display_(display) {}
  ~CX11Frame() { Release(); }
  CX11Frame(const CX11Frame&) = delete;
  CX11Frame& operator=(const CX11Frame&) = delete;

  // Usable is true for the usual 24-bit visual with red, green and blue in the bytes of a
  // 32-bit word, whose pixels are those of a Cairo RGB24 image.
  static bool Usable(Display* display);
  // Surface is the image to draw into, width x height; null when none can be made.
  cairo_surface_t* Surface(int width, int height);
  // Show sends the whole image to `window`; the image may be drawn into again on return.
  void Show(Window window);
  void Release();

 private:
  bool MakeShared(int width, int height);

  Display* display_;
  cairo_surface_t* surface_ = nullptr;
  XImage* shared_ = nullptr;  // the server's view of surface_ when memory is shared
  XShmSegmentInfo segment_{};
  bool sharingFailed_ = false;
};

}  // namespace Vy
