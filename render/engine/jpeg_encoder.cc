#include "render/engine/jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace vyrender {
namespace {

// libjpeg's default error handler ends the process; this one jumps back to the encoder with
// the library's text. Everything the jump must see lives here, in memory libjpeg also holds.
struct Session {
  jpeg_error_mgr errors;
  std::jmp_buf jump;
  char text[JMSG_LENGTH_MAX] = {};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  Session* session = reinterpret_cast<Session*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, session->text);
  std::longjmp(session->jump, 1);
}

void OnMessage(j_common_ptr, int) {}  // warnings are not the user's concern

// Compress runs libjpeg; false after a libjpeg error. No object with a destructor may live in
// this frame, since the error path leaves it by longjmp.
bool Compress(Session* session, const uint8_t* rgba, int width, int height, int quality) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&session->errors);
  session->errors.error_exit = OnError;
  session->errors.emit_message = OnMessage;
  if (setjmp(session->jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &session->buffer, &session->size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_RGBX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = 96;
  cinfo.Y_density = 96;
  jpeg_start_compress(&cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * 4;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgba + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool EncodeJpeg(const uint8_t* rgba, int width, int height, int quality, std::vector<uint8_t>* jpeg,
                std::string* message) {
  jpeg->clear();
  Session session;
  bool ok = Compress(&session, rgba, width, height, quality);
  std::unique_ptr<unsigned char, decltype(&std::free)> owned(session.buffer, std::free);
  if (ok) jpeg->assign(session.buffer, session.buffer + session.size);
  if (!ok) *message = std::string("No se pudo codificar el JPG (") + session.text + ").";
  return ok;
}

}  // namespace vyrender
