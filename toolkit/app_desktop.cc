#include "toolkit/app.h"

namespace Vy {

VyApp::VyApp(int argc, char** argv) : VyApp(argc, argv, CreateDesktopBackend()) {}

}  // namespace Vy
