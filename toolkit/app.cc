#include "toolkit/app.h"

#include "toolkit/window.h"

namespace Vy {
namespace {
VyApp* g_current = nullptr;
}  // namespace

VyApp::VyApp(int argc, char** argv, std::unique_ptr<CAppBackend> backend)
    : argc_(argc), argv_(argv), backend_(std::move(backend)) {
  g_current = this;
}

VyApp::~VyApp() {
  delete mainWindow_;
  mainWindow_ = nullptr;
  backend_.reset();
  if (g_current == this) g_current = nullptr;
}

VyApp* VyApp::Current() {
  return g_current;
}

int VyApp::Run() {
  if (!backend_) return -1;
  if (!OnStartup()) {
    OnShutdown();
    return 1;
  }
  int code = backend_->Run();
  int shutdown = OnShutdown();
  return shutdown != 0 ? shutdown : code;
}

void VyApp::Quit(int code) {
  if (backend_) backend_->Quit(code);
}

void VyApp::Post(std::function<void()> task) {
  if (backend_) backend_->Post(std::move(task));
}

bool VyApp::OnStartup() {
  if (!mainWindow_ || !mainWindow_->Create()) return false;
  mainWindow_->CenterOnScreen();
  mainWindow_->Show();
  return true;
}

int VyApp::OnShutdown() {
  delete mainWindow_;
  mainWindow_ = nullptr;
  return 0;
}

void VyApp::SetMainWindow(CWindow* window) {
  if (window == mainWindow_) return;
  delete mainWindow_;
  mainWindow_ = window;
}

}  // namespace Vy
