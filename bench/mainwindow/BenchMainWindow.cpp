// Expanding the two large catalog roots of the main window, against the plainest registry loop over
// the same keys, and the memory the loaded catalogs take.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <functional>
#include <shellapi.h>

#include "bench/support/BenchSupport.h"
#include "catalog/DetailReaders.h"
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
  LoadList(AType, list, AForm.View());
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

// Registers a class with ACount named values and ASubkeys subkeys of five values each, in both
// registry views.
void CreateClass(const std::wstring& AGuid, int AValues, int ASubkeys) {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key;
    std::wstring path = L"Software\\Classes\\CLSID\\" + AGuid;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    const wchar_t name[] = L"Bench class with a large subtree";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof(name));
    for (int i = 0; i < AValues; ++i) {
      std::wstring value = L"value " + std::to_wstring(i);
      RegSetValueExW(key, (L"v" + std::to_wstring(i)).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * 2));
    }
    for (int i = 0; i < ASubkeys; ++i) {
      HKEY sub;
      RegCreateKeyExW(key, (L"sub" + std::to_wstring(i)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &sub,
                      nullptr);
      for (int j = 0; j < 5; ++j) {
        DWORD number = static_cast<DWORD>(j);
        RegSetValueExW(sub, (L"n" + std::to_wstring(j)).c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
      }
      RegCloseKey(sub);
    }
    RegCloseKey(key);
  }
}

// The plainest read of a whole subtree: every value with its data, every subkey, recursively.
size_t RawSubtreeWalk(HKEY AParent, const std::wstring& APath) {
  HKEY key;
  if (RegOpenKeyExW(AParent, APath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  size_t values = 0;
  wchar_t name[256];
  BYTE data[1024];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256, size = sizeof(data), type;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    ++values;
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    values += RawSubtreeWalk(key, name);
  }
  RegCloseKey(key);
  return values;
}

HTREEITEM FindClass(TfrmMain& AForm, const std::wstring& AGuid) {
  for (HTREEITEM item : AForm.ChildrenOf(TObjectType::otCLSID)) {
    if (AForm.ListOf(TObjectType::otCLSID)[static_cast<size_t>(AForm.NodeData(item).Index)].GUID == AGuid) return item;
  }
  return nullptr;
}

// Selecting a class, from the request until the details are painted, against a plain read of
// every subtree the details show.
void MeasureSelection(TfrmMain& AForm, const char* AName, const std::wstring& AGuid) {
  HTREEITEM item = FindClass(AForm, AGuid);
  if (!item) return;
  TObjectData data = AForm.ListOf(TObjectType::otCLSID)[static_cast<size_t>(AForm.NodeData(item).Index)];
  ReadDetails(data, AForm.Environment, AForm.View());
  std::vector<std::wstring> keys = {L"CLSID\\" + AGuid};
  if (!data.TypeLib.empty()) keys.push_back(L"TypeLib\\" + data.TypeLib);
  if (!data.AppId.empty()) keys.push_back(L"AppID\\" + data.AppId);
  if (!data.ProgId.empty()) keys.push_back(data.ProgId);
  std::vector<double> select, raw;
  for (int run = 0; run < 7; ++run) {
    double start = NowMs();
    for (const std::wstring& key : keys) RawSubtreeWalk(HKEY_CLASSES_ROOT, key);
    raw.push_back(NowMs() - start);
    // From another class, as a user moves through the list.
    TreeView_SelectItem(AForm.Tree(), AForm.ChildrenOf(TObjectType::otCLSID).front());
    Application().ProcessMessages();
    RedrawWindow(AForm.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    start = NowMs();
    TreeView_SelectItem(AForm.Tree(), item);
    double selected = NowMs();
    RedrawWindow(AForm.Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    select.push_back(NowMs() - start);
    if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0) && run == 0) {
      std::printf("  select %.2f ms, paint %.2f ms\n", selected - start, NowMs() - selected);
    }
  }
  std::printf("select %s: %.2f ms (raw read of its subtrees %.2f ms, ratio %.2f), %zu lines\n", AName, Median(select),
              Median(raw), Median(select) / Median(raw), AForm.RegTree().LineCount());
}

}  // namespace

int wmain() {
  Application().Initialize();
  Application().SetTitle(L"Vantrel");
  std::vector<double> classes, interfaces, rawClasses, rawInterfaces;
  size_t classCount = 0, interfaceCount = 0, memoryBefore = 0, memoryAfter = 0;
  for (int run = 0; run < 5; ++run) {
    double start = NowMs();
    RawDefaultValueLoop(L"CLSID");
    rawClasses.push_back(NowMs() - start);
    start = NowMs();
    RawDefaultValueLoop(L"Interface");
    rawInterfaces.push_back(NowMs() - start);

    TfrmMain form;
    form.Show();
    Application().ProcessMessages();
    // Memory from the first round only: later rounds start with what earlier ones left in the heap.
    if (run == 0) memoryBefore = PrivateBytes();
    classes.push_back(ExpandMs(form, form.RootOf(TObjectType::otCLSID)));
    interfaces.push_back(ExpandMs(form, form.RootOf(TObjectType::otInterface)));
    if (run == 0) memoryAfter = PrivateBytes();
    classCount = form.ListOf(TObjectType::otCLSID).size();
    interfaceCount = form.ListOf(TObjectType::otInterface).size();
  }
  std::printf("object classes: %zu, named interfaces: %zu\n", classCount, interfaceCount);
  if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0)) {
    TfrmMain form;
    form.Show();
    Application().ProcessMessages();
    ExpandParts(form, TObjectType::otCLSID, form.RootOf(TObjectType::otCLSID));
  }
  auto line = [](const char* AName, double AValue, double ABaseline) {
    std::printf("%s: %.1f ms (raw loop %.1f ms, ratio %.2f)\n", AName, AValue, ABaseline, AValue / ABaseline);
  };
  line("expand Object Classes", Median(classes), Median(rawClasses));
  line("expand Interfaces", Median(interfaces), Median(rawInterfaces));
  std::printf("private memory with both loaded: %.1f MB (%.1f MB before expanding; %.0f bytes per entry)\n",
              memoryAfter / 1048576.0, memoryBefore / 1048576.0,
              static_cast<double>(memoryAfter - memoryBefore) / static_cast<double>(classCount + interfaceCount));

  // Switching the registry view reads the four catalogs in the other view, as Refresh reads them
  // in the same one.
  if (Is64BitWindows()) {
    TfrmMain form;
    form.Show();
    Application().ProcessMessages();
    const TRegView own = form.View();
    const TRegView other = own == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
    auto timed = [&](const std::function<void()>& AWork) {
      double start = NowMs();
      AWork();
      RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      return NowMs() - start;
    };
    std::vector<double> refresh, switching;
    for (int run = 0; run < 5; ++run) {
      refresh.push_back(timed([&] { form.Refresh(); }));
      switching.push_back(timed([&] { form.cmRegistryView(other); }));
      switching.push_back(timed([&] { form.cmRegistryView(own); }));
    }
    std::printf("switch registry view: %.1f ms (Refresh %.1f ms, ratio %.2f), %zu classes in the view\n",
                Median(switching), Median(refresh), Median(switching) / Median(refresh), form.ListOf(TObjectType::otCLSID).size());
  }

  // The details of one class: a large subtree and an ordinary registration.
  const std::wstring large = L"{BE0C1A55-0000-4000-8000-FFFFFFFF0001}";
  CreateClass(large, 1000, 200);
  TfrmMain form;
  form.Show();
  TreeView_Expand(form.Tree(), form.RootOf(TObjectType::otCLSID), TVE_EXPAND);
  Application().ProcessMessages();
  MeasureSelection(form, "a class with 1,000 values and 200 subkeys", large);
  // An ordinary class of the platform: the first with a server, a ProgID and a type library.
  for (const TObjectData& entry : form.ListOf(TObjectType::otCLSID)) {
    TObjectData data = entry;
    data.CLSID = data.GUID;
    HKEY key;
    std::wstring path = L"CLSID\\" + entry.GUID + L"\\ProgID";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    RegCloseKey(key);
    MeasureSelection(form, "an ordinary class", entry.GUID);
    if (GetEnvironmentVariableW(L"VANTREL_BENCH_PARTS", nullptr, 0)) {
      double t0 = NowMs();
      ReadDetails(data, form.Environment, form.View());
      double t1 = NowMs();
      HICON icon = ExtractIconW(GetModuleHandleW(nullptr), data.Server.c_str(), 0);
      double t2 = NowMs();
      if (reinterpret_cast<UINT_PTR>(icon) > 1) DestroyIcon(icon);
      std::wprintf(L"  details %.2f ms, icon of %ls %.2f ms\n", t1 - t0, data.Server.c_str(), t2 - t1);
    }
    break;
  }
  std::fflush(stdout);
  return 0;
}
