#pragma once

#include <memory>

#include "toolkit/app.h"

namespace Vy {

// CreateX11Backend opens the X display named by DISPLAY and returns the desktop backend on
// it: one top-level window per CWindow, painted double-buffered through the Cairo canvas,
// with timers and modal loops inside the one event loop. It returns null when the display
// cannot be opened. NativeHandle of its windows is the X window id. With
// FrameStyle::kTopLevelOnly dialogs are ordinary top-level windows, not transient dialogs.
std::unique_ptr<CAppBackend> CreateX11Backend(FrameStyle frames = FrameStyle::kStandard);

}  // namespace Vy
