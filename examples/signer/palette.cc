#include "examples/signer/palette.h"

#include "toolkit/button.h"

using namespace Vy;

void StyleButton(CButton* button, const Palette& palette, PaletteIndex fill, bool bold, PaletteIndex hover) {
  button->SetStyle(BuildStyleText(palette[fill], palette[kButtonText], palette[fill], bold, 12));
  button->SetHoverStyle(BuildStyleText(palette[hover], palette[kButtonText], palette[hover], bold, 12));
}
