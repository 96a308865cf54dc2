#pragma once

#include <functional>
#include <memory>
#include <string>

#include "toolkit/types.h"

namespace Vy {

class CWindow;
class CWindowImpl;

// FrameStyle is how a desktop backend frames its windows. The voting program shows every
// window, dialogs included, as an ordinary top-level window without an owner.
enum class FrameStyle { kStandard, kTopLevelOnly };

// CAppBackend is the platform's message loop.
class CAppBackend {
 public:
  virtual ~CAppBackend() = default;
  // Run runs the main loop until Quit and returns the exit code.
  virtual int Run() = 0;
  virtual void Quit(int code) = 0;
  // RunModal runs a nested loop until *done becomes true or the application quits; it
  // leaves *done true.
  virtual void RunModal(bool* done) = 0;
  // CreateWindowImpl makes an unopened platform window of this backend.
  virtual std::unique_ptr<CWindowImpl> CreateWindowImpl() = 0;
  // Post hands `task` to the loop's thread, which runs it soon (also inside a modal loop), in
  // the order posted. It may be called from any thread: work done elsewhere reports back to
  // the windows through it. Tasks still queued when the backend goes are dropped.
  virtual void Post(std::function<void()> task) = 0;
};

// CWindowImpl is one native top-level window serving a CWindow. Without a native window
// every operation does nothing and SetTimer reports false.
class CWindowImpl {
 public:
  virtual ~CWindowImpl() = default;
  virtual bool Create(CWindow* owner, const std::string& title, Size clientSize) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Close asks through the owner's OnClose, which may refuse.
  virtual void Close() = 0;
  // Destroy destroys the native window at once and tells the owner.
  virtual void Destroy() = 0;
  // Invalidate schedules a repaint of `area`, or of the whole client area when null.
  virtual void Invalidate(const Rect* area) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetResizable(bool resizable) = 0;
  virtual void SetMinSize(Size size) = 0;
  virtual void SetMaxSize(Size size) = 0;
  virtual void CenterOnScreen() = 0;
  virtual void* NativeHandle() const = 0;
  virtual bool SetTimer(unsigned id, unsigned milliseconds) = 0;
  virtual void KillTimer(unsigned id) = 0;
  // Update paints a pending invalidation at once, before a long operation holds the loop up;
  // a backend whose loop paints soon enough anyway may leave it empty.
  virtual void Update() {}
  // Detach forgets the owner without telling it anything; the owner is going away.
  virtual void Detach() = 0;
};

// VyApp owns the backend and the main window and runs the program. The most recently
// constructed application is the current one.
class VyApp {
 public:
  // This constructor uses the platform's desktop backend; it is defined by the backend
  // library, so only programs linking one can use it.
  VyApp(int argc, char** argv, FrameStyle frames = FrameStyle::kStandard);
  VyApp(int argc, char** argv, std::unique_ptr<CAppBackend> backend);
  virtual ~VyApp();
  VyApp(const VyApp&) = delete;
  VyApp& operator=(const VyApp&) = delete;

  // Current is the current application, or null.
  static VyApp* Current();

  // Run returns -1 without a backend and 1 when start-up fails; otherwise the result of
  // OnShutdown when not 0, else the loop's exit code.
  int Run();
  void Quit(int code);
  // Post runs `task` on the loop's thread (CAppBackend::Post); any thread may call it.
  void Post(std::function<void()> task);
  virtual bool OnStartup();
  virtual int OnShutdown();

  // SetMainWindow hands over ownership of the main window.
  void SetMainWindow(CWindow* window);
  CWindow* MainWindow() const { return mainWindow_; }
  CAppBackend* Backend() const { return backend_.get(); }
  int ArgumentCount() const { return argc_; }
  char** Arguments() const { return argv_; }

 private:
  int argc_;
  char** argv_;
  CWindow* mainWindow_ = nullptr;
  std::unique_ptr<CAppBackend> backend_;
};

// CreateDesktopBackend makes the platform's desktop backend, or null when the platform's
// drawing or display cannot be had; defined by the backend library.
std::unique_ptr<CAppBackend> CreateDesktopBackend(FrameStyle frames = FrameStyle::kStandard);

}  // namespace Vy
