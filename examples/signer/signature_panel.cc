#include "examples/signer/signature_panel.h"

#include "toolkit/label.h"

using namespace Vy;

namespace {

constexpr Color kRowBackground{255, 255, 255, 255};
constexpr Color kRowSelected{225, 235, 250, 255};
constexpr Color kRowHovered{240, 245, 252, 255};
constexpr Color kRowLine{223, 228, 236, 255};
constexpr Color kName{16, 24, 40, 255};
constexpr Color kMuted{90, 104, 126, 255};
constexpr int kPad = 10;

void Line(CCanvas& canvas, const std::string& text, Point at, int width, Color color, int size, bool bold) {
  canvas.DrawText(ElideEnd(canvas, text, "system", size, bold, width), at, color, "system", size, bold,
                  false);
}

}  // namespace

VerdictColors ColorsFor(Verdict verdict) {
  switch (verdict) {
    case Verdict::kGood: return {{32, 140, 82, 255}, {226, 244, 234, 255}, {22, 101, 52, 255}};
    case Verdict::kWarning: return {{214, 138, 20, 255}, {253, 243, 220, 255}, {133, 77, 14, 255}};
    case Verdict::kBad: break;
  }
  return {{198, 52, 52, 255}, {253, 228, 228, 255}, {160, 30, 30, 255}};
}

void PaintSignatureRow(CCanvas& canvas, const SignatureRow& row, const Rect& area, bool selected,
                       bool hovered) {
  canvas.FillRect(area, selected ? kRowSelected : hovered ? kRowHovered : kRowBackground);
  canvas.DrawLine({area.x, area.Bottom() - 1}, {area.Right(), area.Bottom() - 1}, kRowLine, 1.0f);
  int x = area.x + kPad, width = area.width - 2 * kPad, y = area.y + 8;
  Line(canvas, row.name, {x, y}, width, kName, 12, true);
  y += 18;
  std::string when = row.dni.empty() ? row.time : row.dni + "  ·  " + row.time;
  if (!row.level.empty()) when += "  ·  " + row.level;
  Line(canvas, when, {x, y}, width, kMuted, 11, false);
  y += 18;
  for (const SignatureMark* mark : {&row.integrity, &row.coverage, &row.trust}) {
    canvas.FillEllipse({x, y + 3, 9, 9}, ColorsFor(mark->verdict).mark);
    Line(canvas, mark->text, {x + 15, y}, width - 15, kName, 11, false);
    y += 16;
  }
}

void PaintVerifyingRow(CCanvas& canvas, const Rect& area) {
  canvas.FillRect(area, kRowBackground);
  canvas.DrawLine({area.x, area.Bottom() - 1}, {area.Right(), area.Bottom() - 1}, kRowLine, 1.0f);
  Size extent = canvas.MeasureText("Verificando...", "system", 12, false, false);
  canvas.DrawText("Verificando...",
                  {area.x + (area.width - extent.width) / 2, area.y + (area.height - extent.height) / 2},
                  kMuted, "system", 12, false, false);
}
