// Owners of the user interface's handles (GDI objects, icons, image lists, menus, accelerator
// tables, device contexts), each released by the matching call.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/Zarvek_Handles.h"

namespace vantrel {

template <typename G>
struct TGdiObjectTraits {
  static G Invalid() { return nullptr; }
  static bool IsValid(G h) { return h != nullptr; }
  static void Close(G h) { DeleteObject(h); }
};
using TFont = TUniqueHandle<HFONT, TGdiObjectTraits<HFONT>>;
using TBitmap = TUniqueHandle<HBITMAP, TGdiObjectTraits<HBITMAP>>;
using TBrush = TUniqueHandle<HBRUSH, TGdiObjectTraits<HBRUSH>>;
using TPen = TUniqueHandle<HPEN, TGdiObjectTraits<HPEN>>;

struct TIconTraits {
  static HICON Invalid() { return nullptr; }
  static bool IsValid(HICON h) { return h != nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
using TIcon = TUniqueHandle<HICON, TIconTraits>;

// Device contexts released with DeleteDC: memory and printer contexts.
struct TDeletedDCTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
using TMemoryDC = TUniqueHandle<HDC, TDeletedDCTraits>;
using TPrinterDC = TUniqueHandle<HDC, TDeletedDCTraits>;

struct TImageListTraits {
  static HIMAGELIST Invalid() { return nullptr; }
  static bool IsValid(HIMAGELIST h) { return h != nullptr; }
  static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
};
using TImageList = TUniqueHandle<HIMAGELIST, TImageListTraits>;

// A menu not (yet) given to a window: a window destroys its own menu.
struct TMenuTraits {
  static HMENU Invalid() { return nullptr; }
  static bool IsValid(HMENU h) { return h != nullptr; }
  static void Close(HMENU h) { DestroyMenu(h); }
};
using TMenu = TUniqueHandle<HMENU, TMenuTraits>;

struct TAcceleratorTraits {
  static HACCEL Invalid() { return nullptr; }
  static bool IsValid(HACCEL h) { return h != nullptr; }
  static void Close(HACCEL h) { DestroyAcceleratorTable(h); }
};
using TAccelerators = TUniqueHandle<HACCEL, TAcceleratorTraits>;

// Selects an object into a device context and puts the previous one back.
class TSelectObject {
 public:
  TSelectObject(HDC ADC, HGDIOBJ AObject) : FDC(ADC), FOld(SelectObject(ADC, AObject)) {}
  ~TSelectObject() { SelectObject(FDC, FOld); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// A window's device context from GetDC, given back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND AWindow) : FWindow(AWindow), FDC(GetDC(AWindow)) {}
  ~TWindowDC() { ReleaseDC(FWindow, FDC); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC get() const { return FDC; }

 private:
  HWND FWindow;
  HDC FDC;
};

}  // namespace vantrel
