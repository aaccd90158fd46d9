// The viewer's print command on a real printer: Wine's PostScript driver hands the job to CUPS,
// cups-pdf writes it as a PDF, and its pages, turned into pictures, show where the ink went.
//
// tools/test sets the printer up and exports VANTREL_PRINTER (the CUPS queue) and VANTREL_PDF_DIR
// (where cups-pdf writes, as a Unix path); without them the test is skipped.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>
#include <winspool.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XInput.h"
#include "generators/TLBGenerator.h"
#include "tlbviewer/TLBViewer.h"
#include "typelib/TypeLibLoader.h"
#include "tlbviewer/resource.h"

using namespace vantrel;
using namespace vantrel::test;
namespace fs = std::filesystem;

namespace {

// The pictures of the pages are made at this resolution.
constexpr int kDpi = 150;
// A generous bound for the job to come out of CUPS as a finished PDF, and one for turning it into
// pictures; together well within the time a test case may take.
constexpr DWORD kPdfWaitMs = 120000;
constexpr DWORD kPicturesWaitMs = 60000;
// A pixel at most this light (0 black, 255 white) counts as ink; lighter ones are the faint edges
// that anti-aliasing spreads around glyphs.
constexpr int kInkLevel = 192;

int Pixels(double AMillimetres) { return static_cast<int>(std::lround(AMillimetres * kDpi / 25.4)); }

std::string EnvironmentText(const char* AName) {
  const char* value = std::getenv(AName);
  return value ? value : "";
}

// Wine's name of the CUPS queue AQueue: the printer whose port is "CUPS:<queue>", or empty.
std::wstring WinePrinterOf(const std::wstring& AQueue) {
  DWORD needed = 0, count = 0;
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
  if (needed == 0) return {};
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) return {};
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (printers[i].pPortName && SameTextAscii(printers[i].pPortName, L"CUPS:" + AQueue)) return printers[i].pPrinterName;
  }
  return {};
}

// A folder under the Unix /tmp, so that Unix tools and the test see it under one name. It is
// removed at the end unless Keep() was called (the pages then stay for a person to look at).
class TUnixWorkDir {
 public:
  TUnixWorkDir() {
    static int counter = 0;
    FUnixPath = "/tmp/vantrel-print-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    FPath = WindowsPath(FUnixPath);
    std::error_code error;
    fs::remove_all(fs::path(FPath), error);
    fs::create_directories(fs::path(FPath), error);
  }
  ~TUnixWorkDir() {
    std::error_code error;
    if (!FKeep) fs::remove_all(fs::path(FPath), error);
  }
  TUnixWorkDir(const TUnixWorkDir&) = delete;
  TUnixWorkDir& operator=(const TUnixWorkDir&) = delete;
  const std::string& UnixPath() const { return FUnixPath; }
  std::wstring File(const std::wstring& AName) const { return FPath + L"\\" + AName; }
  void Keep() { FKeep = true; }

 private:
  std::string FUnixPath;
  std::wstring FPath;
  bool FKeep = false;
};

std::set<std::wstring> PdfFilesIn(const std::wstring& ADirectory) {
  std::set<std::wstring> files;
  std::error_code error;
  for (fs::directory_iterator it(fs::path(ADirectory), error), end; !error && it != end; it.increment(error)) {
    if (SameTextAscii(it->path().extension().wstring(), L".pdf")) files.insert(it->path().filename().wstring());
  }
  return files;
}

// Takes a PDF that was not in the folder before by renaming it there (a rename is atomic, so a test
// run printing at the same time cannot take the same file). Returns the new path, or empty.
std::wstring ClaimNewPdf(const std::wstring& ADirectory, const std::set<std::wstring>& ABefore) {
  for (const std::wstring& name : PdfFilesIn(ADirectory)) {
    if (ABefore.count(name)) continue;
    std::wstring claimed = ADirectory + L"\\" + name + L".claimed-" + std::to_wstring(GetCurrentProcessId());
    if (MoveFileExW((ADirectory + L"\\" + name).c_str(), claimed.c_str(), 0)) return claimed;
  }
  return {};
}

std::string ReadText(const std::wstring& AFile) {
  try {
    return ReadFileBytes(AFile);
  } catch (...) {
    return {};
  }
}

// cups-pdf writes the PDF where it ends up; it is whole once the trailer's end mark is written.
bool PdfComplete(const std::wstring& AFile) {
  const std::string bytes = ReadText(AFile);
  if (bytes.size() < 16) return false;
  return bytes.find("%%EOF", bytes.size() - 16) != std::string::npos;
}

// One page as grey levels (0 black, 255 white).
class TPagePicture {
 public:
  // Reads a PNG through the platform's imaging component; an empty picture when that fails.
  static TPagePicture FromPng(const std::wstring& AFile) {
    TPagePicture picture;
    TComPtr<IWICImagingFactory> factory;
    TComPtr<IWICBitmapDecoder> decoder;
    TComPtr<IWICBitmapFrameDecode> frame;
    TComPtr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.put_void())) ||
        FAILED(factory->CreateDecoderFromFilename(AFile.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                  decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) {
      return picture;
    }
    std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()), pixels.data()))) return picture;
    picture.FWidth = static_cast<int>(width);
    picture.FHeight = static_cast<int>(height);
    picture.FGrey.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < picture.FGrey.size(); ++i) {
      picture.FGrey[i] = static_cast<BYTE>((pixels[4 * i] + pixels[4 * i + 1] + pixels[4 * i + 2]) / 3);
    }
    return picture;
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FGrey.empty(); }

  bool Inked(int X, int Y) const { return FGrey[static_cast<size_t>(Y) * FWidth + X] <= kInkLevel; }
  // True when some pixel of the rectangle (clipped to the page) is ink.
  bool Inked(const RECT& ARect) const {
    for (int y = std::max(0, static_cast<int>(ARect.top)); y < std::min(FHeight, static_cast<int>(ARect.bottom)); ++y) {
      for (int x = std::max(0, static_cast<int>(ARect.left)); x < std::min(FWidth, static_cast<int>(ARect.right)); ++x) {
        if (Inked(x, y)) return true;
      }
    }
    return false;
  }
  // Leftmost and rightmost inked columns of a rectangle; -1, -1 when it has no ink.
  std::pair<int, int> InkedColumns(const RECT& ARect) const {
    std::pair<int, int> columns{-1, -1};
    for (int x = std::max(0, static_cast<int>(ARect.left)); x < std::min(FWidth, static_cast<int>(ARect.right)); ++x) {
      if (!Inked(RECT{x, ARect.top, x + 1, ARect.bottom})) continue;
      if (columns.first < 0) columns.first = x;
      columns.second = x;
    }
    return columns;
  }
  // The separate bands of inked rows between two columns, from the top.
  struct TBand {
    int Top, Bottom;  // first and last inked row
  };
  std::vector<TBand> InkedRowBands(int ALeft, int ARight) const {
    std::vector<TBand> bands;
    bool inBand = false;
    for (int y = 0; y < FHeight; ++y) {
      bool inked = Inked(RECT{ALeft, y, ARight, y + 1});
      if (inked && !inBand) bands.push_back({y, y});
      if (inked) bands.back().Bottom = y;
      inBand = inked;
    }
    return bands;
  }

 private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<BYTE> FGrey;
};

// The value of a "Key:   value" line of pdfinfo's output.
std::string InfoValue(const std::string& AInfo, const std::string& AKey) {
  size_t at = AInfo.find("\n" + AKey + ":");
  if (at == std::string::npos) {
    if (AInfo.rfind(AKey + ":", 0) != 0) return {};
    at = 0;
  } else {
    ++at;
  }
  size_t start = AInfo.find_first_not_of(' ', at + AKey.size() + 1);
  size_t end = AInfo.find('\n', at);
  if (start == std::string::npos || start >= end) return {};
  return AInfo.substr(start, end - start);
}

// Records the texts that status panel 0 of a status bar is given.
class TStatusRecorder {
 public:
  explicit TStatusRecorder(HWND AStatusBar) : FStatusBar(AStatusBar) {
    if (FStatusBar) SetWindowSubclass(FStatusBar, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~TStatusRecorder() {
    if (FStatusBar) RemoveWindowSubclass(FStatusBar, &Proc, 1);
  }
  TStatusRecorder(const TStatusRecorder&) = delete;
  TStatusRecorder& operator=(const TStatusRecorder&) = delete;
  std::vector<std::wstring> Texts;

 private:
  static LRESULT CALLBACK Proc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam, UINT_PTR, DWORD_PTR AData) {
    if (AMsg == SB_SETTEXTW && LOBYTE(LOWORD(AWParam)) == 0 && ALParam) {
      reinterpret_cast<TStatusRecorder*>(AData)->Texts.push_back(reinterpret_cast<const wchar_t*>(ALParam));
    }
    return DefSubclassProc(AWnd, AMsg, AWParam, ALParam);
  }
  HWND FStatusBar;
};

std::wstring FixturePath() { return BinaryPath(L"tests\\tlbviewer\\fixtures\\Viewer.tlb"); }

}  // namespace

// The whole print path once: the viewer's command, Wine's printer driver, CUPS and cups-pdf. The
// pages must show every line of the unit with its number, nothing in the margins but the numbers
// beside the text, and the page breaks that the measured lines per page give.
TEST(RealPrinter, ViewerPrintsTheUnitThroughCupsWithinTheMargins) {
  const std::string queue = EnvironmentText("VANTREL_PRINTER");
  const std::string pdfDirectory = EnvironmentText("VANTREL_PDF_DIR");
  if (queue.empty() || pdfDirectory.empty()) {
    GTEST_SKIP() << "no CUPS PDF printer on this machine: VANTREL_PRINTER and VANTREL_PDF_DIR are not set "
                    "(tools/test sets them when it could set the printer up)";
  }
  const std::wstring printer = WinePrinterOf(CodePageToWide(queue, CP_UTF8));
  if (printer.empty()) {
    GTEST_SKIP() << "Wine lists no printer for the CUPS queue " << queue
                 << " (a 32-bit Wine finds CUPS printers only with the i386 libcups2)";
  }

  // The viewer as OpenTypeLibViewer fills it, without the modal run.
  TComPtr<ITypeLib> library;
  ASSERT_TRUE(SUCCEEDED(LoadTypeLibraryFile(FixturePath(), library)));
  TObjectData data;
  data.Server = FixturePath();
  std::unique_ptr<TfrmTLBView> viewer = CreateTypeLibViewer(nullptr, data, library.get());
  TfrmTLBView& view = *viewer;
  const int lines = static_cast<int>(view.UnitLines().ToStringList().size());
  ASSERT_GT(lines, 0);

  bool dialogShown = false;
  view.ExecutePrintDialog = [&] {
    dialogShown = true;
    return CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
  };
  const std::wstring pdfFolder = WindowsPath(pdfDirectory);
  const std::set<std::wstring> before = PdfFilesIn(pdfFolder);
  TMessageBoxRecorder boxes;
  TStatusRecorder status(FindWindowExW(view.Handle(), nullptr, STATUSCLASSNAMEW, nullptr));
  const DWORD start = GetTickCount();
  SendMessageW(view.Handle(), WM_COMMAND, IDM_TLB_PRINT, 0);
  const DWORD printed = GetTickCount();
  ASSERT_TRUE(dialogShown);
  EXPECT_EQ(status.Texts, (std::vector<std::wstring>{L"Printing...", L"Ready"}));
  EXPECT_EQ(view.PanelText(0), L"Ready");
  for (const auto& box : boxes.List) ADD_FAILURE() << "message box: " << testing::PrintToString(box.Text);
  ASSERT_TRUE(boxes.List.empty());

  // The job reaches cups-pdf, which writes it into its folder.
  std::wstring claimed;
  ASSERT_TRUE(WaitFor([&] { return !(claimed = ClaimNewPdf(pdfFolder, before)).empty(); }, kPdfWaitMs))
      << "no new PDF in " << pdfDirectory << " after " << kPdfWaitMs / 1000 << " s";
  TUnixWorkDir work;
  const DWORD waited = GetTickCount() - printed;
  const bool complete = WaitFor([&] { return PdfComplete(claimed); }, kPdfWaitMs - std::min(waited, kPdfWaitMs));
  const DWORD arrived = GetTickCount();
  const std::wstring pdf = work.File(L"unit.pdf");
  const bool moved = MoveFileExW(claimed.c_str(), pdf.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
  if (!moved) DeleteFileW(claimed.c_str());
  ASSERT_TRUE(complete) << "the PDF was not finished after " << kPdfWaitMs / 1000 << " s";
  ASSERT_TRUE(moved);
  std::printf("[   INFO   ] print command %lu ms, PDF finished %lu ms after it\n", printed - start, arrived - printed);

  // Its title and pages, as pictures.
  const std::string unixPdf = work.UnixPath() + "/unit.pdf";
  ASSERT_EQ(RunUnixCommand("pdfinfo '" + unixPdf + "' > '" + work.UnixPath() + "/info.txt' 2>&1"), 0);
  const std::string info = ReadText(work.File(L"info.txt"));
  EXPECT_EQ(InfoValue(info, "Title"), "Vantrel - [ViewerLib]") << info;
  ASSERT_EQ(RunUnixCommand("pdftoppm -r " + std::to_string(kDpi) + " -gray -png '" + unixPdf + "' '" +
                           work.UnixPath() + "/page' 2> '" + work.UnixPath() + "/pdftoppm.txt'",
                           kPicturesWaitMs),
            0)
      << ReadText(work.File(L"pdftoppm.txt"));
  std::vector<std::wstring> pngs;
  std::error_code error;
  for (fs::directory_iterator it(fs::path(work.File(L"")), error), end; !error && it != end; it.increment(error)) {
    if (it->path().extension() == L".png") pngs.push_back(it->path().wstring());
  }
  std::sort(pngs.begin(), pngs.end());  // pdftoppm pads the page numbers to one width
  ASSERT_FALSE(pngs.empty());
  EXPECT_EQ(std::to_string(pngs.size()), InfoValue(info, "Pages"));

  const int left = Pixels(25), right = Pixels(15), top = Pixels(25), bottom = Pixels(25);
  // The line numbers stand in the left margin right beside the text: "99999" and three blanks
  // take 13.5 mm in Courier New 8 pt, less in the proportional font that Wine takes without it.
  const int numbersReach = Pixels(15);
  const int slack = 1;  // rounding of the margins to the pictures' pixels
  struct TPageRows {
    int Numbered;      // lines with a number: each line of the unit starts with one
    int Rows;          // rows of text: numbered lines and the continuations of wrapped ones
    double Pitch;      // distance of two rows
    int TextHeight;    // between the top and the bottom margin
  };
  std::vector<TPageRows> pageRows;
  for (size_t i = 0; i < pngs.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    const TPagePicture page = TPagePicture::FromPng(pngs[i]);
    ASSERT_FALSE(page.Empty()) << "cannot read " << testing::PrintToString(pngs[i]);
    const int w = page.Width(), h = page.Height();
    EXPECT_FALSE(page.Inked(RECT{0, 0, w, top - slack})) << "ink in the top margin";
    EXPECT_FALSE(page.Inked(RECT{0, h - bottom + slack, w, h})) << "ink in the bottom margin";
    EXPECT_FALSE(page.Inked(RECT{w - right + slack, 0, w, h})) << "ink in the right margin";
    EXPECT_FALSE(page.Inked(RECT{0, 0, left - numbersReach, h})) << "ink in the left margin away from the text";
    EXPECT_TRUE(page.Inked(RECT{left, top, w - right, h - bottom})) << "no text";
    const RECT numbers = {left - numbersReach, 0, left - slack, h};
    const std::pair<int, int> numberColumns = page.InkedColumns(numbers);
    EXPECT_GE(numberColumns.first, 0) << "no line numbers";
    // The numbers end with blanks before the text starts, so they never touch it.
    EXPECT_LT(numberColumns.second, left - Pixels(1)) << "line numbers run into the text";
    // Every row has ink: a number, text, or both. The digits all stand on the rows' top, so the
    // first and last number give the rows' pitch.
    const auto numbered = page.InkedRowBands(numbers.left, numbers.right);
    const auto rows = page.InkedRowBands(numbers.left, w - right);
    ASSERT_FALSE(numbered.empty());
    auto rowOf = [&](int AY) {
      for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].Top <= AY && AY <= rows[r].Bottom) return static_cast<int>(r);
      }
      return -1;
    };
    const int firstRow = rowOf(numbered.front().Top), lastRow = rowOf(numbered.back().Top);
    const double pitch = lastRow > firstRow ? double(numbered.back().Top - numbered.front().Top) / (lastRow - firstRow) : 0;
    pageRows.push_back({static_cast<int>(numbered.size()), static_cast<int>(rows.size()), pitch, h - top - bottom});
  }
  if (HasFailure()) {
    work.Keep();
    ADD_FAILURE() << "the pages stay in " << work.UnixPath();
    return;
  }

  // Every line of the unit is printed once, with its number.
  int numbered = 0;
  for (const TPageRows& page : pageRows) numbered += page.Numbered;
  EXPECT_EQ(numbered, lines);
  // Every page but the last is full: its rows fill the height between the margins, and one more
  // would not fit. The last page holds the rest.
  const int perPage = pageRows.front().Rows;
  for (size_t i = 0; i + 1 < pageRows.size(); ++i) {
    const TPageRows& page = pageRows[i];
    EXPECT_EQ(page.Rows, perPage) << "page " << i + 1;
    ASSERT_GT(page.Pitch, 0) << "page " << i + 1;
    EXPECT_LE(page.Rows * page.Pitch, page.TextHeight + slack) << "page " << i + 1;
    EXPECT_GT((page.Rows + 1) * page.Pitch, page.TextHeight - slack) << "page " << i + 1;
  }
  EXPECT_LE(pageRows.back().Rows, perPage);
  std::printf("[   INFO   ] %d lines in %d rows on %zu pages, %d rows on a full page\n", lines,
              [&] { int rows = 0; for (const TPageRows& page : pageRows) rows += page.Rows; return rows; }(),
              pageRows.size(), perPage);
  if (HasFailure()) {
    work.Keep();
    ADD_FAILURE() << "the pages stay in " << work.UnixPath();
  }
}
