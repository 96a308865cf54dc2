#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/window.h"

namespace Vy {

// Scripted runs a list of steps from a timer inside a desktop backend's real loop; each step
// returns true when its condition holds and is retried on the next tick until then.
class Scripted : public CWindow {
 public:
  using Step = std::function<bool()>;
  explicit Scripted(bool* finished = nullptr) : finished_(finished) {}
  // The application deletes the window when its loop ends; the outcome outlives it.
  ~Scripted() override {
    if (finished_) *finished_ = next == steps.size();
  }
  void Paint(CCanvas&) override { ++paints; }
  bool OnInit() override { return SetTimer(1, 15); }
  void OnTimer(unsigned id) override {
    if (id != 1 || busy) return;
    busy = true;
    if (next < steps.size() && steps[next]()) ++next, waited = 0;
    if (next < steps.size() && ++waited > 2000) {
      ADD_FAILURE() << "step " << next << " never completed";
      VyApp::Current()->Quit(2);
    }
    busy = false;
  }
  void Clicked() { ++clicks; }
  void Entered(const std::string& text) { entered = text; }
  std::vector<Step> steps;
  size_t next = 0;
  int waited = 0;
  bool busy = false;
  int paints = 0;
  int clicks = 0;
  std::string entered;

 private:
  bool* finished_;
};

// Do is a step that acts and is complete at once.
inline Scripted::Step Do(std::function<void()> act) {
  return [act] {
    act();
    return true;
  };
}

}  // namespace Vy
