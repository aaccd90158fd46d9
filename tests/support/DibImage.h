// A picture the tests draw into and read back pixel by pixel.
#pragma once

#include <windows.h>

#include <cstdint>

#include "forms/Zarvek_UIHandles.h"

namespace vantrel::test {

// A 32-bit top-down DIB selected into a memory DC.
class TDibImage {
 public:
  TDibImage(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = AWidth;
    info.bmiHeader.biHeight = -AHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FBitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    FBits = static_cast<const uint32_t*>(bits);
    FDC.reset(CreateCompatibleDC(nullptr));
    FOld = SelectObject(FDC.get(), FBitmap.get());
  }
  ~TDibImage() { SelectObject(FDC.get(), FOld); }
  TDibImage(const TDibImage&) = delete;
  TDibImage& operator=(const TDibImage&) = delete;

  HDC DC() const { return FDC.get(); }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  COLORREF Pixel(int AX, int AY) const {
    GdiFlush();
    return At(AX, AY);
  }
  // Pixels of the rectangle whose colour is not AColor.
  int CountOther(const RECT& ARect, COLORREF AColor) const {
    GdiFlush();
    int count = 0;
    for (int y = ARect.top; y < ARect.bottom; ++y) {
      for (int x = ARect.left; x < ARect.right; ++x) count += At(x, y) != AColor;
    }
    return count;
  }
  int Count(const RECT& ARect, COLORREF AColor) const {
    return (ARect.right - ARect.left) * (ARect.bottom - ARect.top) - CountOther(ARect, AColor);
  }
  // Pixels that differ from another image of the same size.
  int Differences(const TDibImage& AOther) const {
    GdiFlush();
    int count = 0;
    for (int y = 0; y < FHeight; ++y) {
      for (int x = 0; x < FWidth; ++x) count += At(x, y) != AOther.At(x, y);
    }
    return count;
  }

 private:
  COLORREF At(int AX, int AY) const {
    uint32_t value = FBits[static_cast<size_t>(AY) * static_cast<size_t>(FWidth) + static_cast<size_t>(AX)];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
  }

  int FWidth;
  int FHeight;
  TBitmap FBitmap;
  TMemoryDC FDC;
  HGDIOBJ FOld = nullptr;
  const uint32_t* FBits = nullptr;
};

}  // namespace vantrel::test
