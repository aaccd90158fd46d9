// Opening the viewer on a large type library (load, tree, generation, text into the editor, first
// paint) against the generation alone, in one run; medians of several rounds.
//
//   bench_viewer [library file]    default: mshtml.tlb of the system folder
#include <windows.h>

#include <cstdio>

#include "bench/support/BenchSupport.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "tlbviewer/TLBViewer.h"
#include "tlbviewer/PascalStyles.h"
#include "tlbviewer/UnitPrinter.h"
#include "tlbviewer/TypeLibLoader.h"

using namespace vantrel;
using namespace vantrel::bench;

int wmain(int argc, wchar_t** argv) {
  Application().Initialize();
  Application().SetTitle(L"Vantrel");
  const std::wstring path = argc > 1 ? argv[1] : SystemDirectoryPath() + L"mshtml.tlb";
  TObjectData data;
  data.Server = path;
  TComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibraryFile(path, library))) {
    std::wprintf(L"cannot load %ls\n", path.c_str());
    return 1;
  }
  std::vector<double> opened, generated, loaded;
  size_t lines = 0;
  for (int round = 0; round < 7; ++round) {
    double start = NowMs();
    {
      TComPtr<ITypeLib> again;
      LoadTypeLibraryFile(path, again);
    }
    loaded.push_back(NowMs() - start);

    start = NowMs();
    TLineList unit;
    std::wstring name;
    GenerateImportUnit(data, library.get(), unit, name);
    generated.push_back(NowMs() - start);
    lines = unit.ToStringList().size();

    double shown = 0;
    SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
      AViewer.Show();
      RedrawWindow(AViewer.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      shown = NowMs();
      PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
    });
    start = NowMs();
    OpenTypeLibViewer(data);
    opened.push_back(shown - start);
    SetTypeLibViewerHook(nullptr);
  }
  if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0)) {
    for (int i = 0; i < 2; ++i) {
      TFormDesign design;
      design.ClassName = L"TBenchEmpty";
      design.ClientWidth = 1089;
      design.ClientHeight = 614;
      double a = NowMs();
      TLMForm empty(design);
      double b = NowMs();
      empty.Show();
      RedrawWindow(empty.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      double c = NowMs();
      std::printf("  an empty form: create %.1f, show and paint %.1f ms\n", b - a, c - b);
      double d = NowMs();
      {
        TScintilla editor(empty.Handle(), 1);
        double e = NowMs();
        ApplyPascalStyles(editor, "Consolas", 10);
        double f = NowMs();
        std::printf("  a Scintilla editor: create %.1f, styles %.1f ms\n", e - d, f - e);
      }
      double g = NowMs();
      HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 10, 0);
      for (int id = 20; id <= 29; ++id) {
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
      }
      ImageList_Destroy(list);
      std::printf("  ten tree images %.1f ms\n", NowMs() - g);
    }
    double t0 = NowMs();
    TfrmTLBView view(nullptr);
    double t1 = NowMs();
    view.FillTree(library.get());
    double t2 = NowMs();
    GenerateImportUnit(data, library.get(), view.UnitLines(), view.UnitName());
    double t3 = NowMs();
    TUtf8Text text = EditorText(view.UnitLines());
    double t4 = NowMs();
    view.SynMemo().SetUtf8Text(text.View());
    double t5 = NowMs();
    view.SynMemoStatusChange();
    double t6 = NowMs();
    view.Show();
    double t6a = NowMs();
    RedrawWindow(view.SynMemo().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    double t6b = NowMs();
    RedrawWindow(view.Tree(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    double t6c = NowMs();
    RedrawWindow(view.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    double t7 = NowMs();
    std::printf("  show %.1f, editor paint %.1f, tree paint %.1f, rest %.1f\n", t6a - t6, t6b - t6a, t6c - t6b, t7 - t6c);
    for (int i = 0; i < 3; ++i) {
      double a = NowMs();
      RedrawWindow(view.SynMemo().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      std::printf("  editor repaint %.1f\n", NowMs() - a);
    }
    std::printf("  create %.1f, tree %.1f, generate %.1f, join %.1f, set text %.1f, status %.1f, show+paint %.1f ms\n",
                t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, t6 - t5, t7 - t6);
  }
  const double open = Median(opened), generation = Median(generated), load = Median(loaded);
  const double overhead = open - load - generation;
  std::wprintf(L"%ls: %zu lines\n", path.c_str(), lines);
  std::printf("open the viewer: %.1f ms (generation alone %.1f ms, loading %.1f ms)\n", open, generation, load);
  std::printf("viewer's own part (tree, editor, lexing, first paint): %.1f ms, %.2f of the generation\n", overhead,
              overhead / generation);
  std::fflush(stdout);
  return 0;
}
