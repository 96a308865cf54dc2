#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolkit/canvas.h"

// Font is what the program's texts are measured and drawn with.
struct Font {
  std::string_view family = "system";
  int size = 12;
  bool bold = false;
};

// WrapText breaks `text` into lines no wider than `width`: at line feeds, then between words
// (a line's leading spaces are kept, a wrapped line's are not), and inside a word that is
// wider than the whole width. Empty lines stay as empty entries.
std::vector<std::string> WrapText(Vy::CCanvas& canvas, std::string_view text, int width, const Font& font);

// FitText shortens `text` from the end, one code point at a time, until it fits in `width`
// with "..." appended; a text that fits is returned unchanged.
std::string FitText(Vy::CCanvas& canvas, const std::string& text, int width, const Font& font);

// LineHeight is the height of one line of `font`, 15 when the canvas measures nothing.
int LineHeight(Vy::CCanvas& canvas, const Font& font);
