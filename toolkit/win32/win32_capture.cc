#include "toolkit/win32/win32_capture.h"

#include <windows.h>
// windows.h first: the GDI+ headers use its types.
#include <gdiplus.h>

#include "toolkit/win32/wide.h"

namespace Vy {

bool SaveWindowPng(void* handle, const std::string& path) {
  HWND hwnd = static_cast<HWND>(handle);
  RECT client;
  if (!hwnd || !GetClientRect(hwnd, &client) || client.right < 1 || client.bottom < 1) return false;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  bool ok = false;
  if (bitmap) {
    HGDIOBJ previous = SelectObject(dc, bitmap);
    ok = PrintWindow(hwnd, dc, PW_CLIENTONLY) != 0;
    GdiFlush();
    SelectObject(dc, previous);
  }
  // Written beside the target and moved over it, so a failure leaves no half image.
  std::wstring target = Wide(path);
  std::wstring partial = target + L".part";
  if (ok) {
    const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    Gdiplus::GpBitmap* image = nullptr;
    ok = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok &&
         Gdiplus::DllExports::GdipSaveImageToFile(image, partial.c_str(), &kPngEncoder, nullptr) ==
             Gdiplus::Ok;
    if (image) Gdiplus::DllExports::GdipDisposeImage(image);
    ok = ok && MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) DeleteFileW(partial.c_str());
  }
  if (bitmap) DeleteObject(bitmap);
  if (dc) DeleteDC(dc);
  return ok;
}

}  // namespace Vy
