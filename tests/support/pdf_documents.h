#pragma once

#include <functional>
#include <string>

typedef struct _cairo cairo_t;

// PDF documents drawn with cairo (text through Pango), so that every renderer sees embedded
// fonts, colour, gradients and images.
namespace testing_support {

inline constexpr double kA4Width = 595.28, kA4Height = 841.89;

// kContractText is one paragraph of contract text.
extern const char* const kContractText;

// DrawParagraph lays `text` out in `font` (a Pango description), wrapped to `width` points.
void DrawParagraph(cairo_t* cr, const std::string& text, const char* font, double x, double y, double width);

// WritePdf writes `pages` pages of width x height points, each drawn by `draw`; false when
// cairo fails.
bool WritePdf(const std::string& path, double width, double height, int pages,
              const std::function<void(cairo_t*, int page)>& draw);

// WriteSamplePdf writes pages with a heading naming the page, text, shapes in the three
// primaries, a gradient and a scaled image.
bool WriteSamplePdf(const std::string& path, int pages = 1, double width = kA4Width,
                    double height = kA4Height);

// WriteStripPdf writes one page of width x height points, its left half blue.
bool WriteStripPdf(const std::string& path, double width, double height);

// AppendContentChange appends an incremental update to the PDF at `path` that gives its first
// page new content (a red square) in place of what was signed: the shape of an attack on a
// signed document. False when the file's structure is not the plain one it expects.
bool AppendContentChange(const std::string& path);

}  // namespace testing_support
