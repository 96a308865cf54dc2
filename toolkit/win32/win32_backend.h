#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "toolkit/app.h"
#include "toolkit/event.h"

namespace Vy {

// CWin32App is the Win32 message loop. It starts GDI+ for the canvases and shuts it down
// when it goes.
class CWin32App : public CAppBackend {
 public:
  explicit CWin32App(FrameStyle frames = FrameStyle::kStandard);
  ~CWin32App() override;
  CWin32App(const CWin32App&) = delete;
  CWin32App& operator=(const CWin32App&) = delete;

  // Run returns the code given to Quit, or 1 when the message loop fails.
  int Run() override;
  void Quit(int code) override;
  void RunModal(bool* done) override;
  std::unique_ptr<CWindowImpl> CreateWindowImpl() override;
  void Post(std::function<void()> task) override;
  // RunPosted runs the tasks posted so far; the message window calls it on the loop's thread.
  void RunPosted();

  // GdiplusStarted is false when GDI+ could not be started; nothing can be painted then.
  bool GdiplusStarted() const { return token_ != 0; }

 private:
  FrameStyle frames_;
  // A message-only window whose message runs the posted tasks: window messages, unlike thread
  // messages, are dispatched by every modal loop, the system's own included.
  void* postWindow_ = nullptr;
  std::mutex postMutex_;
  std::deque<std::function<void()>> posted_;
  bool running_ = false;
  int exitCode_ = 0;
  uintptr_t token_ = 0;
};

// CWin32WindowImpl is one native top-level window of the class "VyWindowClass", painted
// double-buffered through a CWin32Canvas. NativeHandle is the HWND.
class CWin32WindowImpl : public CWindowImpl {
 public:
  explicit CWin32WindowImpl(FrameStyle frames);
  // The destructor destroys the native window when it still exists.
  ~CWin32WindowImpl() override;

  bool Create(CWindow* owner, const std::string& title, Size clientSize) override;
  void Show() override;
  void Hide() override;
  void Close() override;
  void Destroy() override;
  void Invalidate(const Rect* area) override;
  void SetTitle(const std::string& title) override;
  void SetResizable(bool resizable) override;
  void SetMinSize(Size size) override { minSize_ = size; }
  void SetMaxSize(Size size) override { maxSize_ = size; }
  void CenterOnScreen() override;
  void* NativeHandle() const override { return hwnd_; }
  bool SetTimer(unsigned id, unsigned milliseconds) override;
  void KillTimer(unsigned id) override;
  void Detach() override { owner_ = nullptr; }

  // HandleMessage is the window procedure for this window (HWND, WPARAM, LPARAM, LRESULT
  // spelt without the Windows headers).
  intptr_t HandleMessage(void* hwnd, unsigned message, uintptr_t wParam, intptr_t lParam);

 private:
  // Render paints the owner into `hdc` at (dx, dy) through an off-screen bitmap, or directly
  // when no bitmap can be had.
  void Render(void* hdc, int dx, int dy);
  void Send(Event& event);
  // Styles gives the window and extended styles for the owner and frame style.
  void Styles(unsigned long* style, unsigned long* exStyle) const;
  bool IsDialog() const;

  FrameStyle frames_;
  CWindow* owner_ = nullptr;
  void* hwnd_ = nullptr;
  Size minSize_{200, 150};
  Size maxSize_{10000, 10000};
  bool resizable_ = true;
  bool trackingLeave_ = false;
  // Wheel deltas below one notch (high-resolution wheels and touchpads) add up to steps.
  int wheelRemainder_ = 0;
};

// CreateWin32Backend makes the Win32 backend, or null when GDI+ cannot be started.
std::unique_ptr<CAppBackend> CreateWin32Backend(FrameStyle frames = FrameStyle::kStandard);

}  // namespace Vy
