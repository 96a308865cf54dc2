#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/headless/headless.h"
#include "toolkit/window.h"

namespace Vy {

// HeadlessTest runs each test inside an application on the off-screen backend. Windows made
// in a test body are destroyed before the application.
class HeadlessTest : public ::testing::Test {
 protected:
  HeadlessTest() : app_(0, nullptr, std::make_unique<CHeadlessApp>()) {}

  CHeadlessApp& backend() { return *static_cast<CHeadlessApp*>(app_.Backend()); }

  // Open creates the window with the client size and shows it.
  CHeadlessWindowImpl& Open(CWindow& window, Size size = {400, 300}) {
    window.SetClientSize(size);
    EXPECT_TRUE(window.Create());
    window.Show();
    CHeadlessWindowImpl* impl = backend().Find(&window);
    EXPECT_NE(impl, nullptr);
    return *impl;
  }

  VyApp app_;
};

// PickForm records every selection index its controls report.
class PickForm : public CWindow {
 public:
  void Selected(int index) { picks.push_back(index); }
  std::vector<int> picks;
};

inline const Color kWhite{255, 255, 255, 255};

inline bool Near(Color a, Color b, int tolerance = 2) {
  auto d = [](int x, int y) { return x > y ? x - y : y - x; };
  return d(a.r, b.r) <= tolerance && d(a.g, b.g) <= tolerance && d(a.b, b.b) <= tolerance &&
         d(a.a, b.a) <= tolerance;
}

inline std::ostream& operator<<(std::ostream& os, Color c) {
  return os << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

// Blend is `over` painted with its alpha on an opaque `under`.
inline Color Blend(Color under, Color over) {
  auto mix = [&](int u, int o) {
    return static_cast<uint8_t>((o * over.a + u * (255 - over.a) + 127) / 255);
  };
  return {mix(under.r, over.r), mix(under.g, over.g), mix(under.b, over.b), 255};
}

// Highlight is the accent band at `alpha` over a white field.
inline Color Highlight(uint8_t alpha) {
  return Blend(kWhite, {0, 120, 215, alpha});
}

}  // namespace Vy
