// Opening the viewer on a large type library (read in the child process, tree, generation, text
// into the editor, first paint) beside the same with the library loaded in this process, beside one
// empty start of the program, and beside the generation alone; the read and the open with the
// reader in its sandbox beside the same without it; medians of several rounds.
//
//   bench_viewer [library file]    default: mshtml.tlb of the system folder
//   VANTREL_BENCH_PROGRAM          the program that reads libraries (Vantrel.exe)
#include <windows.h>

#include <cstdio>

#include "bench/support/BenchSupport.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "tlbviewer/TLBViewer.h"
#include "tlbviewer/PascalStyles.h"
#include "tlbviewer/UnitPrinter.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"
#include "typelib/TypeLibSnapshot.h"

using namespace vantrel;
using namespace vantrel::bench;

namespace {

// One start of the reader program that ends at once (its request is empty): what every read pays
// for the process alone.
double EmptyStart(const std::wstring& AProgram) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  std::wstring commandLine = L"\"" + AProgram + L"\" /TypeLibReader";
  PROCESS_INFORMATION process = {};
  const double start = NowMs();
  if (!CreateProcessW(AProgram.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(nul);
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  const double took = NowMs() - start;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(nul);
  return took;
}

// Opens the viewer as the program did before the child process: the library loaded here.
double OpenInProcess(const TObjectData& AData, const std::wstring& APath) {
  const double start = NowMs();
  TComPtr<ITypeLib> library;
  LoadTypeLibraryFile(APath, library);
  auto viewer = CreateTypeLibViewer(nullptr, AData, library.get());
  viewer->Show();
  RedrawWindow(viewer->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  return NowMs() - start;
}

}  // namespace

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
  wchar_t program[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VANTREL_BENCH_PROGRAM", program, MAX_PATH)) TypeLibReaderDefaults().Program = program;
  std::vector<double> opened, inProcess, emptyStarts, generated, loaded;
  size_t lines = 0;
  // Opens the viewer as the program does; the time until it has painted.
  auto openViewer = [&] {
    double shown = 0;
    SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
      AViewer.Show();
      RedrawWindow(AViewer.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      shown = NowMs();
      PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
    });
    const double start = NowMs();
    OpenTypeLibViewer(data);
    SetTypeLibViewerHook(nullptr);
    return shown - start;
  };
  // The user's pause between two opens, in which a reader started ahead gets ready.
  auto pause = [] {
    Sleep(500);
    Application().ProcessMessages();
  };
  // Without a reader started ahead: what every open would cost with a process started for it.
  std::vector<double> withoutSpare;
  for (int round = 0; round < 3; ++round) {
    pause();
    withoutSpare.push_back(openViewer());
  }
  // The reader's sandbox (restricted token, low integrity, its job) beside a reader without it,
  // each started for its read: the read alone, then the whole open of the viewer.
  {
    const TTypeLibReadOptions saved = TypeLibReaderDefaults();
    TTypeLibReadOptions sandboxed = saved, plain = saved;
    plain.Sandbox = false;
    bool failed = false;
    auto read = [&](const TTypeLibReadOptions& AOptions) {
      if (!ReadTypeLibrary(data, ProcessRegView(), AOptions).Library) failed = true;
    };
    Compare("read the library, sandboxed reader", "unsandboxed", 7, [&] { read(sandboxed); }, [&] { read(plain); });
    std::vector<double> openSandboxed, openPlain;
    for (int round = 0; round < 5; ++round) {
      TypeLibReaderDefaults().Sandbox = false;
      pause();
      openPlain.push_back(openViewer());
      TypeLibReaderDefaults().Sandbox = true;
      pause();
      openSandboxed.push_back(openViewer());
    }
    std::printf("open the viewer, sandboxed reader: %.1f ms (unsandboxed %.1f ms, ratio %.2f)\n", Median(openSandboxed),
                Median(openPlain), Median(openSandboxed) / Median(openPlain));
    TypeLibReaderDefaults() = saved;
    if (failed) std::printf("  a read failed: the figures above are not the library's\n");
  }
  // The program keeps a reader started ahead from its window's start on.
  TypeLibReaderDefaults().KeepSpare = true;
  PrepareTypeLibReader();
  for (int round = 0; round < 7; ++round) {
    double start = NowMs();
    TLineList unit;
    std::wstring name;
    GenerateImportUnit(data, library.get(), unit, name);
    generated.push_back(NowMs() - start);
    lines = unit.ToStringList().size();
    pause();
    opened.push_back(openViewer());
  }
  TypeLibReaderDefaults().KeepSpare = false;
  if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0)) {
    for (int i = 0; i < 3; ++i) {
      double a = NowMs();
      std::string record = RecordTypeLibrary(library.get());
      double b = NowMs();
      TSnapshotContent content = ReplayTypeLibrary(record);
      double c = NowMs();
      TTypeLibRead read = ReadTypeLibrary(data, ProcessRegView());
      double d = NowMs();
      TLineList unit;
      std::wstring name;
      GenerateImportUnit(data, content.Library.get(), unit, name);
      double e = NowMs();
      std::printf("  record %.1f ms (%zu bytes), replay %.1f ms, read in the child %.1f ms, generate from replay %.1f ms\n",
                  b - a, record.size(), c - b, d - c, e - d);
    }
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
  // The platform keeps a library loaded while a reference to it is held: the baselines run with
  // none held, so that each round loads the file afresh as the first open in a process does.
  library.reset();
  for (int round = 0; round < 7; ++round) {
    pause();
    double start = NowMs();
    {
      TComPtr<ITypeLib> again;
      LoadTypeLibraryFile(path, again);
    }
    loaded.push_back(NowMs() - start);
    inProcess.push_back(OpenInProcess(data, path));
    if (!TypeLibReaderDefaults().Program.empty()) emptyStarts.push_back(EmptyStart(TypeLibReaderDefaults().Program));
  }
  const double open = Median(opened), generation = Median(generated), load = Median(loaded);
  const double local = Median(inProcess);
  const double overhead = local - load - generation;
  std::wprintf(L"%ls: %zu lines\n", path.c_str(), lines);
  std::printf("open the viewer, library read in the child: %.1f ms; loaded in this process: %.1f ms\n", open, local);
  std::printf("the same without a reader started ahead: %.1f ms, extra cost %.1f ms: %.2f of an empty start\n",
              Median(withoutSpare), Median(withoutSpare) - local,
              emptyStarts.empty() ? 0.0 : (Median(withoutSpare) - local) / Median(emptyStarts));
  if (!emptyStarts.empty()) {
    const double start = Median(emptyStarts);
    std::printf("the child's extra cost %.1f ms beside one empty start of the program %.1f ms: %.2f (goal 1.25)\n",
                open - local, start, (open - local) / start);
  }
  std::printf("generation alone %.1f ms, loading %.1f ms\n", generation, load);
  std::printf("viewer's own part (tree, editor, lexing, first paint): %.1f ms, %.2f of the generation\n", overhead,
              overhead / generation);
  std::fflush(stdout);
  return 0;
}
