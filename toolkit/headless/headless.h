#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/event.h"

typedef struct _cairo_surface cairo_surface_t;

namespace Vy {

class CHeadlessApp;

// CHeadlessWindowImpl is an off-screen window: it paints into an image, takes injected input
// and delivers timer ticks when asked.
class CHeadlessWindowImpl : public CWindowImpl {
 public:
  explicit CHeadlessWindowImpl(CHeadlessApp* app);
  ~CHeadlessWindowImpl() override;

  bool Create(CWindow* owner, const std::string& title, Size clientSize) override;
  void Show() override { shown_ = open_; }
  void Hide() override { shown_ = false; }
  void Close() override;
  void Destroy() override;
  void Invalidate(const Rect* area) override;
  void SetTitle(const std::string& title) override { title_ = title; }
  void SetResizable(bool resizable) override { resizable_ = resizable; }
  void SetMinSize(Size size) override { minSize_ = size; }
  void SetMaxSize(Size size) override { maxSize_ = size; }
  void CenterOnScreen() override { centered_ = open_; }
  void* NativeHandle() const override { return open_ ? const_cast<CHeadlessWindowImpl*>(this) : nullptr; }
  bool SetTimer(unsigned id, unsigned milliseconds) override;
  void KillTimer(unsigned id) override { timers_.erase(id); }
  void Detach() override { owner_ = nullptr; }

  CWindow* Owner() const { return owner_; }
  bool IsOpen() const { return open_; }
  bool IsShown() const { return shown_; }
  bool IsCentered() const { return centered_; }
  bool IsResizable() const { return resizable_; }
  const std::string& Title() const { return title_; }
  Size ClientSize() const { return size_; }
  Size MinSize() const { return minSize_; }
  Size MaxSize() const { return maxSize_; }
  // NeedsPaint is true after an invalidation that no paint has served yet.
  bool NeedsPaint() const { return dirty_; }

  // Input, delivered at once through the window's dispatch. Each returns the handled flag.
  bool Send(Event event);
  bool MouseMove(int x, int y, uint32_t modifiers = 0);
  bool MouseDown(int x, int y, uint8_t button = kLeftButton, uint32_t modifiers = 0);
  bool MouseUp(int x, int y, uint8_t button = kLeftButton, uint32_t modifiers = 0);
  // Click moves to the point, presses and releases the left button.
  void Click(int x, int y, uint32_t modifiers = 0);
  bool DoubleClick(int x, int y, uint32_t modifiers = 0);
  bool Wheel(int x, int y, int steps, uint32_t modifiers = 0);
  bool KeyDown(uint16_t key, uint32_t modifiers = 0);
  bool KeyUp(uint16_t key, uint32_t modifiers = 0);
  // Press is a key down followed by a key up; it returns the key down's handled flag.
  bool Press(uint16_t key, uint32_t modifiers = 0);
  bool Char(char16_t character, uint32_t modifiers = 0);
  // Type sends the UTF-16 code units of a UTF-8 text as character events.
  void Type(const std::string& text);
  void FocusIn();
  void FocusOut();
  // Leave is the move the desktop backends send when the pointer leaves the window.
  void Leave() { MouseMove(-9999, -9999); }
  void Resize(Size size);
  // RequestClose is the close box: OnClose decides.
  void RequestClose() { Close(); }

  // Tick delivers one tick of a running timer; false when it is not running.
  bool Tick(unsigned id);
  std::vector<unsigned> Timers() const;
  unsigned TimerInterval(unsigned id) const;

  // Paint renders the whole window into the image.
  bool Paint();
  // PixelAt paints when needed and returns an unpremultiplied pixel (transparent outside).
  Color PixelAt(int x, int y);
  bool SavePng(const std::string& path);

 private:
  CHeadlessApp* app_;
  CWindow* owner_ = nullptr;
  bool open_ = false;
  bool shown_ = false;
  bool centered_ = false;
  bool resizable_ = true;
  bool dirty_ = true;
  std::string title_;
  Size size_;
  Size minSize_{200, 150};
  Size maxSize_{10000, 10000};
  std::map<unsigned, unsigned> timers_;
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> image_;
};

// CHeadlessApp is an application backend without a display. Its loops run posted tasks: Run
// returns when Quit is called or no task is left; RunModal likewise, or when its flag is set.
// Tasks may be posted from any thread; only the loops and RunPending run them.
class CHeadlessApp : public CAppBackend {
 public:
  CHeadlessApp() = default;
  int Run() override;
  void Quit(int code) override;
  void RunModal(bool* done) override;
  std::unique_ptr<CWindowImpl> CreateWindowImpl() override;

  void Post(std::function<void()> task) override;
  // RunPending runs the tasks posted so far and those they post; it returns how many ran.
  int RunPending();
  // QuitRequested is true from Quit until a main loop has ended because of it.
  bool QuitRequested() const { return quit_; }
  int ExitCode() const { return exitCode_; }
  // Find gives the open or closed platform window of a CWindow, or null.
  CHeadlessWindowImpl* Find(const CWindow* window) const;
  // Topmost is the open window made last (the innermost modal dialog), or null.
  CHeadlessWindowImpl* Topmost() const;
  int ModalDepth() const { return modalDepth_; }

 private:
  friend class CHeadlessWindowImpl;
  // Next takes the first queued task; false when there is none.
  bool Next(std::function<void()>* task);

  std::mutex mutex_;  // guards tasks_
  std::deque<std::function<void()>> tasks_;
  std::vector<CHeadlessWindowImpl*> windows_;
  bool quit_ = false;
  int exitCode_ = 0;
  int modalDepth_ = 0;
};

}  // namespace Vy
