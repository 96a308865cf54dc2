#include "toolkit/app.h"

namespace Vy {

VyApp::VyApp(int argc, char** argv, FrameStyle frames) : VyApp(argc, argv, CreateDesktopBackend(frames)) {}

}  // namespace Vy
