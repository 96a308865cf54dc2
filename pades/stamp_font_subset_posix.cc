#include <hb-subset.h>

#include <memory>

#include "pades/stamp_font.h"

// The system's DejaVu Sans (Debian's fonts-dejavu-core), cut by HarfBuzz's subsetter.

namespace {

#ifndef VY_STAMP_FONT_PATH
#define VY_STAMP_FONT_PATH "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
#endif
constexpr const char* kFontPath = VY_STAMP_FONT_PATH;

template <typename T, void (*Destroy)(T*)>
struct Deleter {
  void operator()(T* p) const { Destroy(p); }
};
using Blob = std::unique_ptr<hb_blob_t, Deleter<hb_blob_t, hb_blob_destroy>>;
using Face = std::unique_ptr<hb_face_t, Deleter<hb_face_t, hb_face_destroy>>;
using Font = std::unique_ptr<hb_font_t, Deleter<hb_font_t, hb_font_destroy>>;
using Input = std::unique_ptr<hb_subset_input_t, Deleter<hb_subset_input_t, hb_subset_input_destroy>>;

// Hinting and the tables of layout, kerning and mathematics are dropped: a PDF viewer places
// the glyphs itself, and the stamp shapes no text.
constexpr hb_tag_t kDropped[] = {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'),
                                 HB_TAG('G', 'D', 'E', 'F'), HB_TAG('k', 'e', 'r', 'n'),
                                 HB_TAG('M', 'A', 'T', 'H'), HB_TAG('F', 'F', 'T', 'M'),
                                 HB_TAG('g', 'a', 's', 'p')};

}  // namespace

FontSubset SubsetStampFont(const std::u32string& characters, std::string* error) {
  FontSubset out;
  const Blob blob(hb_blob_create_from_file_or_fail(kFontPath));
  if (!blob) {
    *error =
        std::string("no se pudo leer la fuente del sello ") + kFontPath + " (paquete fonts-dejavu-core).";
    return out;
  }
  const Face face(hb_face_create(blob.get(), 0));
  const Input input(hb_subset_input_create_or_fail());
  if (!input) {
    *error = "no hay memoria para recortar la fuente del sello.";
    return out;
  }
  hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
  for (char32_t c : characters) hb_set_add(unicodes, hb_codepoint_t(c));
  hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (hb_tag_t tag : kDropped) hb_set_add(dropped, tag);
  hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
  const Face subset(hb_subset_or_fail(face.get(), input.get()));
  if (!subset) {
    *error = std::string("no se pudo recortar la fuente del sello ") + kFontPath + ".";
    return out;
  }
  const Blob data(hb_face_reference_blob(subset.get()));
  unsigned int length = 0;
  const char* bytes = hb_blob_get_data(data.get(), &length);
  out.program.assign(bytes ? bytes : "", bytes ? length : 0);
  // The subset's own cmap gives the glyph numbers it was renumbered to.
  const Face written(hb_face_create(data.get(), 0));
  const Font font(hb_font_create(written.get()));
  for (char32_t c : characters) {
    hb_codepoint_t glyph = 0;
    if (hb_font_get_nominal_glyph(font.get(), hb_codepoint_t(c), &glyph) && glyph != 0)
      out.glyphs[c] = uint16_t(glyph);
  }
  if (out.program.empty()) *error = std::string("no se pudo recortar la fuente del sello ") + kFontPath + ".";
  return out;
}
