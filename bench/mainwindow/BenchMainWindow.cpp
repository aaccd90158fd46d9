// Expanding the two large catalog roots of the main window, against the plainest registry loop over
// the same keys, and the memory the loaded catalogs take.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "bench/support/BenchSupport.h"
#include "catalog/Zarvek_RegUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"

using namespace vantrel;
using namespace vantrel::bench;

namespace {

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  // Wine leaves PrivateUsage at 0; the commit charge (PagefileUsage) is the same figure on Windows.
  return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// From the expand request until the children are in the tree, sorted and painted.
double ExpandMs(TfrmMain& AForm, HTREEITEM ARoot) {
  double start = NowMs();
  TreeView_Expand(AForm.Tree(), ARoot, TVE_EXPAND);
  RedrawWindow(AForm.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  return NowMs() - start;
}

// The parts of one expansion: load, fill (sorted insertion), expand and paint.
void ExpandParts(TfrmMain& AForm, TObjectType AType, HTREEITEM ARoot) {
  TObjects& list = AForm.ListOf(AType);
  size_t m0 = PrivateBytes();
  double t0 = NowMs();
  LoadList(AType, list);
  std::printf("  list of %zu: %.1f MB\n", list.size(), (PrivateBytes() - m0) / 1048576.0);
  double t1 = NowMs();
  SortedEntryOrder(list);
  std::printf("  sort alone %.1f ms\n", NowMs() - t1);
  t1 = NowMs();
  AForm.FillKey(ARoot, list);
  double t2 = NowMs();
  TreeView_Expand(AForm.Tree(), ARoot, TVE_EXPAND);
  double t3 = NowMs();
  RedrawWindow(AForm.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  double t4 = NowMs();
  std::printf("  with the tree: %.1f MB\n", (PrivateBytes() - m0) / 1048576.0);
  std::printf("  parts: load %.1f, fill %.1f, expand %.1f, paint %.1f ms\n", t1 - t0, t2 - t1, t3 - t2, t4 - t3);
}

}  // namespace

int wmain() {
  Application().Initialize();
  Application().SetTitle(L"Vantrel");
  const REGSAM valueView = IsWow64() ? KEY_WOW64_64KEY : 0;
  std::vector<double> classes, interfaces, rawClasses, rawInterfaces;
  size_t classCount = 0, interfaceCount = 0, memoryBefore = 0, memoryAfter = 0;
  for (int run = 0; run < 5; ++run) {
    double start = NowMs();
    RawDefaultValueLoop(L"CLSID", 0);
    rawClasses.push_back(NowMs() - start);
    start = NowMs();
    RawDefaultValueLoop(L"Interface", valueView);
    rawInterfaces.push_back(NowMs() - start);

    TfrmMain form({});
    form.Show();
    Application().ProcessMessages();
    memoryBefore = PrivateBytes();
    classes.push_back(ExpandMs(form, form.OCRoot));
    interfaces.push_back(ExpandMs(form, form.IFRoot));
    memoryAfter = PrivateBytes();
    classCount = form.OCList.size();
    interfaceCount = form.IFList.size();
  }
  std::printf("object classes: %zu, named interfaces: %zu\n", classCount, interfaceCount);
  if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0)) {
    TfrmMain form({});
    form.Show();
    Application().ProcessMessages();
    ExpandParts(form, TObjectType::otCLSID, form.OCRoot);
  }
  auto line = [](const char* AName, double AValue, double ABaseline) {
    std::printf("%s: %.1f ms (raw loop %.1f ms, ratio %.2f)\n", AName, AValue, ABaseline, AValue / ABaseline);
  };
  line("expand Object Classes", Median(classes), Median(rawClasses));
  line("expand Interfaces", Median(interfaces), Median(rawInterfaces));
  std::printf("private memory with both loaded: %.1f MB (%.1f MB before expanding)\n", memoryAfter / 1048576.0,
              memoryBefore / 1048576.0);
  std::fflush(stdout);
  return 0;
}
