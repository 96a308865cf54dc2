#pragma once

#include "examples/signer/signature_rows.h"
#include "toolkit/canvas.h"

// How the signer's signature panel and summary line look.

// VerdictColors are a verdict's mark, the summary band's background and its text.
struct VerdictColors {
  Vy::Color mark, band, text;
};
VerdictColors ColorsFor(Verdict verdict);
// The summary band while the verifier works.
inline constexpr VerdictColors kVerifyingColors{
    {120, 132, 152, 255}, {232, 237, 245, 255}, {90, 104, 126, 255}};

// The panel's rows are this tall: the name, the DNI and time, and the three marks.
inline constexpr int kSignatureRowHeight = 96;

// PaintSignatureRow draws one row in `area`; PaintVerifyingRow the row of a signature whose
// report is on its way.
void PaintSignatureRow(Vy::CCanvas& canvas, const SignatureRow& row, const Vy::Rect& area, bool selected,
                       bool hovered);
void PaintVerifyingRow(Vy::CCanvas& canvas, const Vy::Rect& area);
