#pragma once

#include <array>
#include <string>

#include "toolkit/style.h"
#include "toolkit/types.h"

// The signer's colours, in a fixed order: the dialogs get a copy of the whole palette and
// read the same positions.
using Palette = std::array<Vy::Color, 19>;

enum PaletteIndex {
  kBackground = 0,
  kHeaderBand = 1,
  kTitle = 2,
  kHeaderLine = 3,
  kToolbarBand = 4,
  kDialogText = 7,
  kDialogMuted = 8,
  kSubtitle = 9,
  kErrorText = 12,
  kButton = 13,
  kButtonText = 14,
  kButtonHover = 15,
  kCancelButton = 16,
  kFooterBand = 17,
  kFooterLabel = 18,
};

inline const Palette kSignerPalette = {{
    {245, 247, 251, 255}, {255, 255, 255, 255}, {13, 43, 94, 255},    {223, 228, 236, 255},
    {16, 32, 58, 255},    {205, 216, 236, 255}, {255, 255, 255, 255}, {16, 24, 40, 255},
    {90, 104, 126, 255},  {120, 132, 152, 255}, {200, 210, 224, 255}, {32, 140, 82, 255},
    {198, 52, 52, 255},   {16, 32, 58, 255},    {255, 255, 255, 255}, {30, 62, 116, 255},
    {190, 46, 46, 255},   {36, 48, 70, 255},    {198, 210, 230, 255},
}};

namespace Vy {
class CButton;
}

// StyleButton gives a button the palette's look: `fill` for background and border with the
// button text colour, and the hover blue under the cursor (or `hover` when given).
void StyleButton(Vy::CButton* button, const Palette& palette, PaletteIndex fill, bool bold,
                 PaletteIndex hover = kButtonHover);
