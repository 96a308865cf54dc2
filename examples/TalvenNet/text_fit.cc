#include "examples/TalvenNet/text_fit.h"

#include "core/text.h"

namespace {

int Width(Vy::CCanvas& canvas, std::string_view text, const Font& font) {
  return canvas.MeasureText(text, font.family, font.size, font.bold, false).width;
}

// PopCodePoint removes the last UTF-8 code point.
void PopCodePoint(std::string* text) {
  while (!text->empty()) {
    unsigned char last = static_cast<unsigned char>(text->back());
    text->pop_back();
    if ((last & 0xC0) != 0x80) break;
  }
}

void WrapParagraph(Vy::CCanvas& canvas, std::string_view paragraph, int width, const Font& font,
                   std::vector<std::string>* lines) {
  std::string line;
  size_t at = 0;
  while (at < paragraph.size()) {
    // A token is the spaces before a word and the word.
    size_t wordStart = paragraph.find_first_not_of(' ', at);
    if (wordStart == std::string_view::npos) wordStart = paragraph.size();
    size_t wordEnd = paragraph.find(' ', wordStart);
    if (wordEnd == std::string_view::npos) wordEnd = paragraph.size();
    std::string_view token = paragraph.substr(at, wordEnd - at);
    std::string_view word = paragraph.substr(wordStart, wordEnd - wordStart);
    at = wordEnd;
    if (Width(canvas, line + std::string(token), font) <= width) {
      line += token;
      continue;
    }
    if (!line.empty()) lines->push_back(std::move(line));
    line.clear();
    // A word wider than the whole line is cut where it stops fitting.
    for (size_t pos = 0; pos < word.size();) {
      size_t next = pos;
      DecodeUtf8(word, &next);
      std::string longer = line + std::string(word.substr(pos, next - pos));
      if (!line.empty() && Width(canvas, longer, font) > width) {
        lines->push_back(std::move(line));
        line.clear();
        continue;
      }
      line = std::move(longer);
      pos = next;
    }
  }
  lines->push_back(std::move(line));
}

}  // namespace

std::vector<std::string> WrapText(Vy::CCanvas& canvas, std::string_view text, int width, const Font& font) {
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    size_t lf = text.find('\n', start);
    std::string_view paragraph =
        text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.remove_suffix(1);
    WrapParagraph(canvas, paragraph, width, font, &lines);
    if (lf == std::string_view::npos) break;
    start = lf + 1;
  }
  return lines;
}

std::string FitText(Vy::CCanvas& canvas, const std::string& text, int width, const Font& font) {
  if (Width(canvas, text, font) <= width) return text;
  std::string cut = text;
  while (!cut.empty() && Width(canvas, cut + "...", font) > width) PopCodePoint(&cut);
  return cut + "...";
}

int LineHeight(Vy::CCanvas& canvas, const Font& font) {
  int height = canvas.MeasureText("Ag", font.family, font.size, font.bold, false).height;
  return height < 1 ? 15 : height;
}
