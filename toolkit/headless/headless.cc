#include "toolkit/headless/headless.h"

#include <cairo.h>

#include <algorithm>

#include "core/text.h"
#include "toolkit/cairo/cairo_canvas.h"
#include "toolkit/window.h"

namespace Vy {

CHeadlessWindowImpl::CHeadlessWindowImpl(CHeadlessApp* app)
    : app_(app), image_(nullptr, cairo_surface_destroy) {
  app_->windows_.push_back(this);
}

CHeadlessWindowImpl::~CHeadlessWindowImpl() {
  std::erase(app_->windows_, this);
}

bool CHeadlessWindowImpl::Create(CWindow* owner, const std::string& title, Size clientSize) {
  if (!owner || clientSize.width < 1 || clientSize.height < 1) return false;
  owner_ = owner;
  title_ = title;
  size_ = clientSize;
  open_ = true;
  owner_->HandleSize(size_);
  return true;
}

void CHeadlessWindowImpl::Close() {
  if (open_ && owner_ && owner_->OnClose()) Destroy();
}

void CHeadlessWindowImpl::Destroy() {
  if (!open_) return;
  open_ = false;
  shown_ = false;
  timers_.clear();
  if (CWindow* owner = owner_) owner->HandleDestroyed();  // may delete this window: nothing after
}

void CHeadlessWindowImpl::Invalidate(const Rect*) {
  if (open_) dirty_ = true;
}

bool CHeadlessWindowImpl::SetTimer(unsigned id, unsigned milliseconds) {
  if (!open_ || id == 0 || milliseconds == 0) return false;
  timers_[id] = milliseconds;
  return true;
}

bool CHeadlessWindowImpl::Tick(unsigned id) {
  if (!open_ || !owner_ || !timers_.count(id)) return false;
  owner_->OnTimer(id);
  return true;
}

std::vector<unsigned> CHeadlessWindowImpl::Timers() const {
  std::vector<unsigned> ids;
  for (const auto& entry : timers_) ids.push_back(entry.first);
  return ids;
}

unsigned CHeadlessWindowImpl::TimerInterval(unsigned id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second;
}

bool CHeadlessWindowImpl::Send(Event event) {
  if (!open_ || !owner_) return false;
  event.handled = false;
  owner_->Dispatch(event);
  return event.handled;
}

static Event MouseEvent(int kind, int x, int y, uint8_t button, uint32_t modifiers) {
  Event e;
  e.kind = kind;
  e.x = x;
  e.y = y;
  e.button = button;
  e.modifiers = modifiers;
  return e;
}

static Event KeyEvent(int kind, uint16_t key, uint32_t modifiers) {
  Event e;
  e.kind = kind;
  e.key = key;
  e.modifiers = modifiers;
  return e;
}

bool CHeadlessWindowImpl::MouseMove(int x, int y, uint32_t modifiers) {
  return Send(MouseEvent(kMouseMove, x, y, kLeftButton, modifiers));
}

bool CHeadlessWindowImpl::MouseDown(int x, int y, uint8_t button, uint32_t modifiers) {
  return Send(MouseEvent(kMouseDown, x, y, button, modifiers));
}

bool CHeadlessWindowImpl::MouseUp(int x, int y, uint8_t button, uint32_t modifiers) {
  return Send(MouseEvent(kMouseUp, x, y, button, modifiers));
}

void CHeadlessWindowImpl::Click(int x, int y, uint32_t modifiers) {
  MouseMove(x, y, modifiers);
  MouseDown(x, y, kLeftButton, modifiers);
  MouseUp(x, y, kLeftButton, modifiers);
}

bool CHeadlessWindowImpl::DoubleClick(int x, int y, uint32_t modifiers) {
  return Send(MouseEvent(kDoubleClick, x, y, kLeftButton, modifiers));
}

bool CHeadlessWindowImpl::Wheel(int x, int y, int steps, uint32_t modifiers) {
  Event e = MouseEvent(kWheel, x, y, kLeftButton, modifiers);
  e.wheelSteps = steps;
  return Send(e);
}

bool CHeadlessWindowImpl::KeyDown(uint16_t key, uint32_t modifiers) {
  return Send(KeyEvent(kKeyPressed, key, modifiers));
}

bool CHeadlessWindowImpl::KeyUp(uint16_t key, uint32_t modifiers) {
  return Send(KeyEvent(kKeyReleased, key, modifiers));
}

bool CHeadlessWindowImpl::Press(uint16_t key, uint32_t modifiers) {
  bool handled = KeyDown(key, modifiers);
  KeyUp(key, modifiers);
  return handled;
}

bool CHeadlessWindowImpl::Char(char16_t character, uint32_t modifiers) {
  return Send(KeyEvent(kCharacter, character, modifiers));
}

void CHeadlessWindowImpl::Type(const std::string& text) {
  for (char16_t unit : Utf8ToUtf16(text)) Char(unit);
}

void CHeadlessWindowImpl::FocusIn() {
  Event e;
  e.kind = kFocusGained;
  Send(e);
}

void CHeadlessWindowImpl::FocusOut() {
  Event e;
  e.kind = kFocusLost;
  Send(e);
}

void CHeadlessWindowImpl::Resize(Size size) {
  if (!open_ || !owner_) return;
  size.width = std::clamp(size.width, std::max(minSize_.width, 1), std::max(maxSize_.width, 1));
  size.height = std::clamp(size.height, std::max(minSize_.height, 1), std::max(maxSize_.height, 1));
  if (size == size_) return;
  size_ = size;
  owner_->HandleSize(size_);
}

bool CHeadlessWindowImpl::Paint() {
  if (!open_ || !owner_) return false;
  if (!image_ || cairo_image_surface_get_width(image_.get()) != size_.width ||
      cairo_image_surface_get_height(image_.get()) != size_.height) {
    image_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size_.width, size_.height));
  }
  if (cairo_surface_status(image_.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_t* cr = cairo_create(image_.get());
  {
    CCairoCanvas canvas(cr);
    owner_->PaintWindow(canvas);
  }
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(image_.get());
  dirty_ = false;
  return ok;
}

Color CHeadlessWindowImpl::PixelAt(int x, int y) {
  if ((dirty_ || !image_) && !Paint()) return {0, 0, 0, 0};
  if (!image_ || x < 0 || y < 0 || x >= size_.width || y >= size_.height) return {0, 0, 0, 0};
  const unsigned char* data = cairo_image_surface_get_data(image_.get());
  int stride = cairo_image_surface_get_stride(image_.get());
  uint32_t word = *reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride + x * 4);
  uint32_t a = word >> 24;
  if (a == 0) return {0, 0, 0, 0};
  auto channel = [a](uint32_t v) {
    return static_cast<uint8_t>(std::min<uint32_t>(255, (v * 255 + a / 2) / a));
  };
  return {channel((word >> 16) & 0xFF), channel((word >> 8) & 0xFF), channel(word & 0xFF),
          static_cast<uint8_t>(a)};
}

bool CHeadlessWindowImpl::SavePng(const std::string& path) {
  if ((dirty_ || !image_) && !Paint()) return false;
  return image_ && cairo_surface_write_to_png(image_.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void CHeadlessApp::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mutex_);
  tasks_.push_back(std::move(task));
}

bool CHeadlessApp::Next(std::function<void()>* task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tasks_.empty()) return false;
  *task = std::move(tasks_.front());
  tasks_.pop_front();
  return true;
}

int CHeadlessApp::Run() {
  std::function<void()> task;
  while (!quit_ && Next(&task)) task();
  quit_ = false;  // the request is used up, as a quit message would be
  return exitCode_;
}

void CHeadlessApp::Quit(int code) {
  exitCode_ = code;
  quit_ = true;
}

void CHeadlessApp::RunModal(bool* done) {
  ++modalDepth_;
  std::function<void()> task;
  while (!*done && !quit_ && Next(&task)) task();
  --modalDepth_;
  *done = true;
}

int CHeadlessApp::RunPending() {
  int ran = 0;
  std::function<void()> task;
  while (Next(&task)) {
    task();
    ++ran;
  }
  return ran;
}

std::unique_ptr<CWindowImpl> CHeadlessApp::CreateWindowImpl() {
  return std::make_unique<CHeadlessWindowImpl>(this);
}

CHeadlessWindowImpl* CHeadlessApp::Find(const CWindow* window) const {
  for (CHeadlessWindowImpl* impl : windows_) {
    if (impl->Owner() == window) return impl;
  }
  return nullptr;
}

CHeadlessWindowImpl* CHeadlessApp::Topmost() const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if ((*it)->IsOpen()) return *it;
  }
  return nullptr;
}

}  // namespace Vy
