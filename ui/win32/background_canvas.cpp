#include "ui/win32/background_canvas.h"

#include <cstring>

#include "ui/win32/form_style.h"

namespace vn {

namespace {

BITMAPINFO Bitmap24(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the surface keeps its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The surface's rows, bottom-up and padded to 4 bytes, are a 24-bit DIB's bits as they stand.
const void* SurfaceBits(const TDIBSurface& surface) {
  return surface.ScanLine(surface.Height() - 1);
}

}  // namespace

std::string PaintBoxLayout(const TDXPaintBoxPicture& picture) {
  const TDIBSurface& dib = picture.DIB;
  if (dib.Empty()) return "PaintBox 0 0 0 0 hidden enabled";
  int32_t x = 0, y = 0, w = picture.Width, h = picture.Height;
  if (!picture.Stretch) {
    PictureOrigin(picture, x, y);
    w = dib.Width();
    h = dib.Height();
  }
  return "PaintBox " + std::to_string(x) + ' ' + std::to_string(y) + ' ' + std::to_string(w) + ' ' +
         std::to_string(h) +
         (picture.Stretch  ? " visible stretched"
          : picture.Center ? " visible centred"
                           : " visible plain");
}

TBackgroundCanvas::~TBackgroundCanvas() {
  if (bitmap_) DeleteObject(bitmap_);
}

void TBackgroundCanvas::Compose(int width, int height, const TGradBox* gradient,
                                const TDXPaintBoxPicture& picture, const std::optional<TFooterBand>& footer) {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  width_ = width;
  height_ = height;
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info = Bitmap24(width, height);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_) return;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap_);
  RECT all{0, 0, width, height};
  if (gradient) {
    TDIBSurface surface;
    surface.SetSize(width, height, 24);
    gradient->Paint(surface);
    GdiFlush();
    std::memcpy(bits, SurfaceBits(surface), static_cast<size_t>(surface.RowSize()) * height);
  } else {
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  }

  const TDIBSurface& dib = picture.DIB;
  if (!dib.Empty() && dib.BitCount() == 24) {
    BITMAPINFO source = Bitmap24(dib.Width(), dib.Height());
    if (picture.Stretch) {
      // Averaged, not pixel by pixel: a stretched picture shows no stair steps.
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchDIBits(dc, 0, 0, width, height, 0, 0, dib.Width(), dib.Height(), SurfaceBits(dib), &source,
                    DIB_RGB_COLORS, SRCCOPY);
    } else {
      int32_t x, y;
      PictureOrigin(picture, x, y);
      StretchDIBits(dc, x, y, dib.Width(), dib.Height(), 0, 0, dib.Width(), dib.Height(), SurfaceBits(dib),
                    &source, DIB_RGB_COLORS, SRCCOPY);
    }
  }

  if (footer) {
    RECT band = footer->bounds;
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HGDIOBJ old_font = SelectObject(dc, FormFont());
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, footer->text.c_str(), static_cast<int>(footer->text.size()), &band,
              DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old_font);
  }
  SelectObject(dc, old_bitmap);
  DeleteDC(dc);
}

void TBackgroundCanvas::Paint(HDC dc, const RECT& client) const {
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (!bitmap_) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmap_);
  BitBlt(dc, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace vn
