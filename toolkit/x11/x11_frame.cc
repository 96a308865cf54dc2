#include "toolkit/x11/x11_frame.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdint>

namespace Vy {

namespace {

bool attachFailed = false;

int NoteAttachError(Display*, XErrorEvent*) {
  attachFailed = true;
  return 0;
}

int NativeByteOrder() {
  const uint32_t probe = 1;
  return *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
}

}  // namespace

bool CX11Frame::Usable(Display* d) {
  int screen = DefaultScreen(d);
  Visual* v = DefaultVisual(d, screen);
  return DefaultDepth(d, screen) == 24 && v->red_mask == 0xff0000 && v->green_mask == 0xff00 &&
         v->blue_mask == 0xff;
}

cairo_surface_t* CX11Frame::Surface(int width, int height) {
  if (surface_ && cairo_image_surface_get_width(surface_) == width &&
      cairo_image_surface_get_height(surface_) == height)
    return surface_;
  Release();
  if (!sharingFailed_ && !MakeShared(width, height)) sharingFailed_ = true;
  if (!surface_) surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) Release();
  return surface_;
}

bool CX11Frame::MakeShared(int width, int height) {
  if (!XShmQueryExtension(display_)) return false;
  int screen = DefaultScreen(display_);
  shared_ = XShmCreateImage(display_, DefaultVisual(display_, screen), 24, ZPixmap, nullptr, &segment_, width,
                            height);
  if (!shared_) return false;
  if (shared_->bytes_per_line != cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width) ||
      shared_->bits_per_pixel != 32 || shared_->byte_order != NativeByteOrder()) {
    Release();
    return false;
  }
  segment_.shmid =
      shmget(IPC_PRIVATE, static_cast<size_t>(shared_->bytes_per_line) * height, IPC_CREAT | 0600);
  if (segment_.shmid < 0) {
    Release();
    return false;
  }
  segment_.shmaddr = shared_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
  segment_.readOnly = True;
  if (segment_.shmaddr == reinterpret_cast<char*>(-1)) segment_.shmaddr = shared_->data = nullptr;
  // A server on another machine cannot attach: find out now rather than draw nothing.
  attachFailed = false;
  XErrorHandler previous = XSetErrorHandler(NoteAttachError);
  bool attached = segment_.shmaddr && XShmAttach(display_, &segment_);
  XSync(display_, False);
  XSetErrorHandler(previous);
  // Marked for removal at once, so the segment goes with the last process detached from it,
  // whatever way this one ends.
  shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (!attached || attachFailed) {
    if (attached) segment_.shmid = -1;  // nothing for the server to detach from
    Release();
    return false;
  }
  surface_ = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(shared_->data),
                                                 CAIRO_FORMAT_RGB24, width, height, shared_->bytes_per_line);
  return true;
}

void CX11Frame::Show(Window window) {
  if (!surface_) return;
  cairo_surface_flush(surface_);
  int width = cairo_image_surface_get_width(surface_), height = cairo_image_surface_get_height(surface_);
  GC gc = DefaultGC(display_, DefaultScreen(display_));
  if (shared_) {
    XShmPutImage(display_, window, gc, shared_, 0, 0, 0, 0, width, height, False);
    // The next frame is drawn into the same memory: wait until the server has read this one.
    XSync(display_, False);
    return;
  }
  XImage* image = XCreateImage(display_, DefaultVisual(display_, DefaultScreen(display_)), 24, ZPixmap, 0,
                               reinterpret_cast<char*>(cairo_image_surface_get_data(surface_)), width, height,
                               32, cairo_image_surface_get_stride(surface_));
  if (!image) return;
  // Cairo's words are in this machine's byte order; Xlib swaps for the server when it must.
  image->byte_order = NativeByteOrder();
  XPutImage(display_, window, gc, image, 0, 0, 0, 0, width, height);
  image->data = nullptr;  // Cairo's
  XDestroyImage(image);
}

void CX11Frame::Release() {
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (!shared_) return;
  if (segment_.shmid >= 0 && segment_.shmaddr) {
    XShmDetach(display_, &segment_);
    XSync(display_, False);
  }
  if (segment_.shmaddr) shmdt(segment_.shmaddr);
  shared_->data = nullptr;
  XDestroyImage(shared_);
  shared_ = nullptr;
  segment_ = {};
}

}  // namespace Vy
