// The details pane and the entry commands against registrations in the test prefix.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
#include "tlbviewer/TLBViewer.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

using TLines = std::vector<std::pair<int, std::wstring>>;

using TBoxes = TMessageBoxRecorder;

class Details : public testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<TfrmMain>(); }
  void TearDown() override { form.reset(); }

  // Selects the entry with this GUID, loading its catalog first; false when it is not listed.
  bool Select(TObjectType AType, const std::wstring& AGuid) {
    HTREEITEM root = form->RootOf(AType);
    TreeView_Expand(form->Tree(), root, TVE_EXPAND);
    const TObjects& list = form->ListOf(AType);
    for (HTREEITEM item : form->ChildrenOf(AType)) {
      TCatalogNodeData data = form->NodeData(item);
      if (list[static_cast<size_t>(data.Index)].GUID == AGuid) {
        TreeView_SelectItem(form->Tree(), item);
        return true;
      }
    }
    return false;
  }
  TLines Lines() const {
    TLines lines;
    for (const auto& line : form->RegTree().LinesInTreeOrder()) lines.emplace_back(line.Level, *line.Text);
    return lines;
  }
  TLines TopLines() const {
    TLines top;
    for (const auto& line : Lines()) {
      if (line.first == 0) top.push_back(line);
    }
    return top;
  }
  bool MenuEnabled(UINT AId) const {
    return !(GetMenuState(GetMenu(form->Handle()), AId, MF_BYCOMMAND) & MF_GRAYED);
  }
  bool ButtonEnabled(int AId) const { return IsWindowEnabled(GetDlgItem(form->TabPanel().Handle(), AId)) != FALSE; }
  TCommandStates ShownStates() const {
    TCommandStates states;
    states.Register = MenuEnabled(IDM_REG);
    states.CreateInstance = MenuEnabled(IDM_CREATEINST);
    states.View = MenuEnabled(IDM_VIEWTLB);
    EXPECT_EQ(MenuEnabled(IDM_UNREG), states.Register);
    EXPECT_EQ(ButtonEnabled(IDC_REGISTER), states.Register);
    EXPECT_EQ(ButtonEnabled(IDC_UNREGISTER), states.Register);
    EXPECT_EQ(ButtonEnabled(IDC_VIEW), states.View);
    return states;
  }
  void Command(UINT AId) { SendMessageW(form->Handle(), WM_COMMAND, AId, 0); }

  std::unique_ptr<TfrmMain> form;
  TRegistryFixture reg;
};

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

std::wstring ServerDll() { return BinaryPath(L"tests\\mainwindow\\VantrelTestServer.dll"); }

// While it lives, an object of a class is registered as running (in the Running Object Table). It
// answers nothing but IUnknown.
class TRunningObject : public IUnknown {
 public:
  explicit TRunningObject(const wchar_t* AClass) {
    CLSID clsid;
    CLSIDFromString(AClass, &clsid);
    RegisterActiveObject(this, clsid, ACTIVEOBJECT_STRONG, &FCookie);
  }
  ~TRunningObject() { RevokeActiveObject(FCookie, nullptr); }
  TRunningObject(const TRunningObject&) = delete;
  TRunningObject& operator=(const TRunningObject&) = delete;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  DWORD FCookie = 0;
};

const wchar_t kGreeter[] = L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A03}";
const wchar_t kBroken[] = L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A04}";

// The same server built for 64 bits, by the 64-bit build beside this one.
std::wstring ServerDll64() {
  return ExpandFileName(BinaryPath(L"..\\x86_64\\tests\\mainwindow\\VantrelTestServer.dll"));
}

// The program server and the class it registers.
std::wstring ProgramServer() { return BinaryPath(L"tests\\mainwindow\\VantrelTestProgramServer.exe"); }
const wchar_t kProgramClass[] = L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A10}";

// Settings of the program server, passed on through the environment; removed at the end.
class TServerSettings {
 public:
  ~TServerSettings() {
    Set(L"VANTREL_TEST_SERVER_DELAY_MS", L"");
    Set(L"VANTREL_TEST_SERVER_EXIT_CODE", L"");
  }
  void Set(const wchar_t* AName, const std::wstring& AValue) {
    SetEnvironmentVariableW(AName, AValue.empty() ? nullptr : AValue.c_str());
  }
};

// The lines the program server logged, one per run.
std::vector<std::string> ServerRuns() {
  std::vector<std::string> lines;
  std::string text = ReadFileBytes(ProgramServer() + L".log");
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

TEST(CommandStates, FollowServerProgIdAndTypeLib) {
  struct Case {
    const wchar_t* server;
    const wchar_t* progId;
    const wchar_t* typeLib;
    TCommandStates expected;
    TObjectType typ;
  } cases[] = {
      // Every class may be created, ProgID or not; no other kind.
      {L"", L"", L"", {false, true, false}, TObjectType::otCLSID},
      {L"x.dll", L"", L"", {true, true, true}, TObjectType::otCLSID},
      {L"", L"A.B", L"", {false, true, false}, TObjectType::otCLSID},
      {L"", L"", L"{L}", {false, false, true}, TObjectType::otInterface},
      {L"x.dll", L"", L"{L}", {true, false, true}, TObjectType::otTypeLib},
      {L"", L"", L"", {false, false, false}, TObjectType::otAppID},
  };
  for (const Case& c : cases) {
    TObjectData data;
    data.Server = c.server;
    data.ProgId = c.progId;
    data.TypeLib = c.typeLib;
    data.Typ = c.typ;
    EXPECT_EQ(CommandStates(data), c.expected) << testing::PrintToString(std::wstring(c.server));
  }
}

TEST(IconReference, FileAndIndexFromDefaultIconOrServer) {
  TObjectData data;
  data.Server = L"C:\\server.dll";
  std::wstring file;
  int index = 99;
  IconReference(data, file, index);
  EXPECT_EQ(file, L"C:\\server.dll");
  EXPECT_EQ(index, 0);
  data.DefaultIcon = L"shell32.dll,-3";
  IconReference(data, file, index);
  EXPECT_EQ(file, L"shell32.dll");
  EXPECT_EQ(index, -3);
  data.DefaultIcon = L"no comma.ico";  // not used without a comma
  IconReference(data, file, index);
  EXPECT_EQ(file, L"C:\\server.dll");
  data.DefaultIcon = L"a.dll,abc";
  try {
    IconReference(data, file, index);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), L"'abc' is not a valid integer value");
  }
}

TEST_F(Details, ClassKeyLinesAndLevels) {
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key, L"", L"Foo Class");
  reg.SetString(key, L"AppID", L"{APP}");
  reg.SetString(key + L"\\InprocServer32", L"", L"C:\\x.dll");
  reg.SetString(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(Lines(), (TLines{{0, L"CLSID"},
                              {1, guid + L" = Foo Class"},
                              {1, guid + L"[AppID] = {APP}"},
                              {2, L"InprocServer32 = C:\\x.dll"},
                              {2, L"InprocServer32[ThreadingModel] = Apartment"}}));
  EXPECT_EQ(form->NameText(), L"Foo Class");
  EXPECT_EQ(form->GuidText(), guid);
  EXPECT_TRUE(form->TabPanel().Visible());
  EXPECT_EQ(form->ShownImage(), 1);
  // Selecting a line shows it in the memo.
  HWND tree = form->RegTree().Handle();
  HTREEITEM line = TreeView_GetChild(tree, TreeView_GetNextSibling(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree))));
  ASSERT_NE(line, nullptr);
  TreeView_SelectItem(tree, line);
  wchar_t memo[256] = {};
  GetWindowTextW(form->Memo(), memo, 256);
  EXPECT_STREQ(memo, L"InprocServer32 = C:\\x.dll");
  EXPECT_EQ(MemoText(std::wstring(kMemoLimit, L'x')), std::wstring(kMemoLimit, L'x'));
  // The node's server is the one the reader found.
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Server, L"C:\\x.dll");

  Command(IDC_COPY);
  std::wstring expected = L"Name: Foo Class\r\nGUID: " + guid + L"\r\n" + std::wstring(80, L'-') + L"\r\n" +
                          L"CLSID\r\n   " + guid + L" = Foo Class\r\n   " + guid + L"[AppID] = {APP}\r\n" +
                          L"      InprocServer32 = C:\\x.dll\r\n      InprocServer32[ThreadingModel] = Apartment\r\n";
  EXPECT_EQ(ClipboardText(), expected);
}

TEST_F(Details, ProgIdKeyAndKeyWithoutDefaultValue) {
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  std::wstring progId = L"Vantrel.Fixture" + guid.substr(1, 8);
  reg.CreateKey(key);
  reg.SetString(key + L"\\ProgID", L"", progId);
  reg.SetString(progId, L"", L"Fixture");
  reg.SetString(progId, L"Extra", L"x");
  reg.SetString(progId + L"\\CLSID", L"", guid);
  reg.SetString(progId + L"\\CurVer", L"", progId + L".1");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(Lines(), (TLines{{0, L"CLSID"},
                              {1, guid + L" = "},
                              {2, L"ProgID = " + progId},
                              {0, progId + L" = Fixture"},
                              {0, progId + L"[Extra] = x"},
                              {1, L"CLSID = " + guid},
                              {1, L"CurVer = " + progId + L".1"}}));
  EXPECT_EQ(ShownStates(), (TCommandStates{false, true, false}));
}

TEST_F(Details, TopLevelLinesAreDrawnBold) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Bold");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  auto stage = [&](size_t AIndex) {
    NMTVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = form->RegTree().Handle();
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.hdc = GetDC(form->RegTree().Handle());
    draw.nmcd.lItemlParam = static_cast<LPARAM>(AIndex);
    LRESULT result = SendMessageW(form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw));
    ReleaseDC(form->RegTree().Handle(), draw.nmcd.hdc);
    return result;
  };
  EXPECT_EQ(stage(0), CDRF_NEWFONT);  // "CLSID"
  EXPECT_EQ(stage(1), CDRF_DODEFAULT);
}

TEST_F(Details, BinaryValuesFollowTheHexMenuItemAtOnce) {
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key, L"", L"Binary");
  reg.SetBinary(key, L"Data", {1, 2, 3});
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(Lines()[2].second, guid + L"[Data] = 01 02 03");
  Command(IDM_HEX);
  EXPECT_FALSE(form->DisplayBinaryAsHex());
  EXPECT_EQ(Lines()[2].second, guid + L"[Data] = ...");
  Command(IDM_HEX);
  EXPECT_TRUE(form->DisplayBinaryAsHex());
  EXPECT_EQ(Lines()[2].second, guid + L"[Data] = 01 02 03");
}

TEST_F(Details, InterfaceShowsItsKeyItsProxyStubClassAndItsTypeLibrary) {
  std::wstring intf = NewGuid(), proxy = NewGuid(), lib = NewGuid();
  reg.SetString(L"Interface\\" + intf, L"", L"IFixture");
  reg.SetString(L"Interface\\" + intf + L"\\ProxyStubClsid32", L"", proxy);
  reg.SetString(L"Interface\\" + intf + L"\\TypeLib", L"", lib);
  reg.SetString(L"Interface\\" + intf + L"\\TypeLib", L"Version", L"1.0");
  reg.SetString(L"CLSID\\" + proxy, L"", L"PSFactoryBuffer");
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0", L"", L"Fixture Library");
  ASSERT_TRUE(Select(TObjectType::otInterface, intf));
  EXPECT_EQ(TopLines(), (TLines{{0, L"Interface"}, {0, L"CLSID"}, {0, L"TypeLib"}}));
  EXPECT_EQ(ShownStates(), (TCommandStates{false, false, true}));
  EXPECT_EQ(form->ShownImage(), 4);
}

TEST_F(Details, ApplicationIdShowsOnlyItsKeyAndDisablesTheCommands) {
  std::wstring app = NewGuid();
  reg.SetString(L"AppID\\" + app, L"", L"Fixture App");
  reg.SetString(L"AppID\\" + app, L"LocalService", L"svc");
  // A class first, so that every command was enabled before.
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\x.dll");
  reg.SetString(L"CLSID\\" + guid + L"\\ProgID", L"", L"X.Y");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(ShownStates(), (TCommandStates{true, true, true}));
  ASSERT_TRUE(Select(TObjectType::otAppID, app));
  EXPECT_EQ(TopLines(), (TLines{{0, L"AppID"}}));
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(ShownStates(), (TCommandStates{false, false, false}));
  EXPECT_EQ(form->ShownImage(), 3);
}

TEST_F(Details, ClassWithTypeLibraryButNoServerCannotBeRegistered) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"No Server");
  reg.SetString(L"CLSID\\" + guid + L"\\TypeLib", L"", NewGuid());
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(ShownStates(), (TCommandStates{false, true, true}));
}

TEST_F(Details, KeyDeletedSinceTheCatalogWasLoadedShowsNothing) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Gone Soon");
  TreeView_Expand(form->Tree(), form->RootOf(TObjectType::otCLSID), TVE_EXPAND);
  reg.DeleteKey(L"CLSID\\" + guid);
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(form->RegTree().LineCount(), 0u);
  EXPECT_EQ(form->NameText(), L"Gone Soon");
  EXPECT_EQ(form->GuidText(), guid);
}

TEST_F(Details, RootHidesTheRegistryTabAndKeepsTheMenuStates) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\x.dll");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  TreeView_SelectItem(form->Tree(), form->RootOf(TObjectType::otCLSID));
  EXPECT_FALSE(form->TabPanel().Visible());
  EXPECT_EQ(form->ShownImage(), 0);
  EXPECT_TRUE(MenuEnabled(IDM_REG));
  EXPECT_EQ(form->GuidText(), L"Node contains " + std::to_wstring(form->ListOf(TObjectType::otCLSID).size()) + L" items");
}

TEST_F(Details, IconsFromDefaultIconOrServerOrTheKindsImage) {
  std::wstring withIcon = NewGuid(), noIcons = NewGuid(), tlbServer = NewGuid();
  reg.SetString(L"CLSID\\" + withIcon + L"\\DefaultIcon", L"", L"shell32.dll,3");
  reg.SetString(L"CLSID\\" + noIcons + L"\\InprocServer32", L"", SystemDirectoryPath() + L"kernel32.dll");
  reg.SetString(L"TypeLib\\" + tlbServer + L"\\1.0\\0\\win32", L"", SystemDirectoryPath() + L"stdole2.tlb");
  ASSERT_TRUE(Select(TObjectType::otCLSID, withIcon));
  EXPECT_NE(form->ShownIcon(), nullptr);
  ASSERT_TRUE(Select(TObjectType::otCLSID, noIcons));
  EXPECT_EQ(form->ShownIcon(), nullptr);
  EXPECT_EQ(form->ShownImage(), 1);
  ASSERT_TRUE(Select(TObjectType::otTypeLib, tlbServer));
  EXPECT_EQ(form->ShownIcon(), nullptr);
  EXPECT_EQ(form->ShownImage(), 2);
}

TEST_F(Details, IconIndexThatIsNoIntegerCostsOnlyTheIcon) {
  std::wstring good = NewGuid(), bad = NewGuid();
  reg.SetString(L"CLSID\\" + good, L"", L"Good");
  reg.SetString(L"CLSID\\" + good + L"\\DefaultIcon", L"", L"shell32.dll,3");
  reg.SetString(L"CLSID\\" + bad, L"", L"Bad Icon");
  reg.SetString(L"CLSID\\" + bad + L"\\DefaultIcon", L"", L"shell32.dll,abc");
  reg.SetString(L"CLSID\\" + bad + L"\\ProgID", L"", L"Bad.Icon");
  ASSERT_TRUE(Select(TObjectType::otCLSID, good));
  ASSERT_NE(form->ShownIcon(), nullptr);
  TBoxes boxes;
  ASSERT_TRUE(Select(TObjectType::otCLSID, bad));
  EXPECT_TRUE(boxes.List.empty());
  // Header and registry view show the same entry; the kind's image stands in for the icon.
  EXPECT_EQ(form->NameText(), L"Bad Icon");
  EXPECT_EQ(form->GuidText(), bad);
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines()[1].second, bad + L" = Bad Icon");
  EXPECT_EQ(form->ShownIcon(), nullptr);
  EXPECT_EQ(form->ShownImage(), 1);
  EXPECT_EQ(form->StatusText(), L"No icon: 'abc' is not a valid integer value");
  EXPECT_TRUE(MenuEnabled(IDM_CREATEINST));
  Command(IDC_COPY);
  EXPECT_NE(ClipboardText().find(L"Name: Bad Icon\r\nGUID: " + bad), std::wstring::npos);
  EXPECT_EQ(ClipboardText().find(good), std::wstring::npos);
  // The next entry clears the note.
  ASSERT_TRUE(Select(TObjectType::otCLSID, good));
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}

TEST_F(Details, ServerUnderProgramDataKeepsItsPathAndItsIcon) {
  // A folder named like a standard variable: nothing in the path may be taken for the variable.
  const std::wstring folder = L"C:\\ProgramData\\Vantrel Test " + NewGuid().substr(1, 8);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring server = folder + L"\\icons.dll";
  CopyFileTo(SystemDirectoryPath() + L"shell32.dll", server);
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"ProgramData Server");
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", server);
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Server, server);
  EXPECT_NE(form->ShownIcon(), nullptr);
  EXPECT_TRUE(ShownStates().Register);
  form.reset();
  DeleteFileW(server.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(Details, AValueNamingAHugeKeyShowsABoundedPartOfIt) {
  // A ProgID value that names the root of all classes, and an AppID that names a key with more
  // subkeys than a reference may show.
  const std::wstring guid = NewGuid(), app = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Points at everything");
  reg.SetString(L"CLSID\\" + guid + L"\\ProgID", L"", L"CLSID");
  reg.SetString(L"CLSID\\" + guid, L"AppID", app);
  for (int i = 0; i < 1100; ++i) reg.CreateKey(L"AppID\\" + app + L"\\k" + std::to_wstring(i));
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  size_t cuts = 0;
  for (const auto& line : Lines()) {
    if (line.second.find(L"more keys than the 1000 shown; the rest is left out") != std::wstring::npos) ++cuts;
  }
  EXPECT_EQ(cuts, 2u);
  EXPECT_LT(Lines().size(), 10000u);
}

TEST_F(Details, HostileRegistryDataRendersWithoutCrashOrHang) {
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key, L"", L"Hostile");
  const BYTE odd[] = {0x41, 0x00, 0x42, 0x00, 0x43};
  for (DWORD type : std::initializer_list<DWORD>{REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY,
                     REG_LINK, REG_RESOURCE_LIST, REG_NONE, static_cast<DWORD>(12345)}) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{3}, size_t{5}}) {
      reg.SetValue(key, L"t" + std::to_wstring(type) + L"s" + std::to_wstring(size), type, odd, size);
    }
  }
  reg.SetString(key, L"long", std::wstring(16383, L'L'));
  reg.SetString(key, std::wstring(L"ctl\x01\t\nname"), L"value\r\nwith breaks");
  reg.SetBinary(key, L"megabyte", std::vector<BYTE>(1 << 20, 0x5A));
  std::wstring deep = key;
  for (int i = 0; i < 100; ++i) deep += L"\\d";
  reg.SetString(deep, L"", L"bottom");
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  TLines lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), std::make_pair(1 + 100, std::wstring(L"d = bottom")));
  const TRegistryView::TLineRef* mega = nullptr;
  auto ordered = form->RegTree().LinesInTreeOrder();
  for (const auto& line : ordered) {
    if (line.Text->find(L"[megabyte] = ") != std::wstring::npos) mega = &line;
  }
  ASSERT_NE(mega, nullptr);
  EXPECT_EQ(mega->Text->size(), guid.size() + std::wstring(L"[megabyte] = ").size() + 3 * (1 << 20) - 1);
  // The memo shows the start of the line; the copy holds all of it.
  HWND tree = form->RegTree().Handle();
  for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextVisible(tree, item)) {
    const TRegistryNodeData* data = form->RegTree().NodeData(item);
    if (data && &data->Text == mega->Text) {
      TreeView_SelectItem(tree, item);
      break;
    }
  }
  EXPECT_EQ(static_cast<size_t>(GetWindowTextLengthW(form->Memo())), MemoText(*mega->Text).size());
  EXPECT_LT(MemoText(*mega->Text).size(), kMemoLimit + 100);
  Command(IDM_HEX);
  Command(IDM_HEX);
  Command(IDC_COPY);
  EXPECT_GT(ClipboardText().size(), static_cast<size_t>(3 << 20));
}

TEST_F(Details, RegisterCreateAndUnregisterThroughThePlatform) {
  ASSERT_TRUE(FileExists(ServerDll())) << testing::PrintToString(ServerDll());
  // An entry that names the test server, as a stale registration would.
  std::wstring stale = NewGuid();
  reg.SetString(L"CLSID\\" + stale, L"", L"Stale");
  reg.SetString(L"CLSID\\" + stale + L"\\InprocServer32", L"", ServerDll());
  ASSERT_TRUE(Select(TObjectType::otCLSID, stale));
  ASSERT_EQ(ShownStates().Register, true);
  Command(IDC_REGISTER);
  EXPECT_EQ(form->StatusText(), L"Registered VantrelTestServer.dll");
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter)) << "the registered class is not listed";
  EXPECT_EQ(form->NameText(), L"Vantrel Test Greeter");
  EXPECT_EQ(ShownStates(), (TCommandStates{true, true, true}));

  TBoxes boxes;
  // An object of the class already running is not what Create instance reports: a new instance
  // is made (the running one has no IDispatch, the new one has type information).
  TRunningObject running(kGreeter);
  Command(IDM_CREATEINST);
  EXPECT_TRUE(boxes.List.empty()) << testing::PrintToString(boxes.List.empty() ? L"" : boxes.List[0].Text);
  EXPECT_EQ(form->StatusText(), L"Created an instance of Vantrel Test Greeter; type information: IGreeter");
  Command(IDM_CREATEINST_INPROC);
  EXPECT_EQ(form->StatusText(),
            L"Created an instance of Vantrel Test Greeter in-process; type information: IGreeter");
  // The class has no local server.
  Command(IDM_CREATEINST_LOCAL);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text.rfind(L"Cannot create an instance of Vantrel Test Greeter in a local server: ", 0), 0u)
      << testing::PrintToString(boxes.List[0].Text);
  boxes.List.clear();
  // Created, but without type information: that is no failure.
  ASSERT_TRUE(Select(TObjectType::otCLSID, kBroken));
  Command(IDM_CREATEINST);
  EXPECT_TRUE(boxes.List.empty());
  EXPECT_EQ(form->StatusText(), L"Created an instance of Vantrel Test Broken; its IDispatch gives no type information: " +
                                    OleErrorText(TYPE_E_ELEMENTNOTFOUND));
  // A class without a ProgID or a server of its own that COM treats as another.
  const std::wstring treated = NewGuid(), converted = NewGuid();
  reg.SetString(L"CLSID\\" + treated, L"", L"Treated");
  reg.SetString(L"CLSID\\" + treated + L"\\TreatAs", L"", kGreeter);
  reg.SetString(L"CLSID\\" + treated + L"\\AutoConvertTo", L"", converted);
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, treated));
  EXPECT_TRUE(ShownStates().CreateInstance);
  Command(IDM_CREATEINST);
  EXPECT_TRUE(boxes.List.empty()) << testing::PrintToString(boxes.List.empty() ? L"" : boxes.List[0].Text);
  EXPECT_EQ(form->StatusText(), L"Created an instance of Treated, treated as Vantrel Test Greeter " +
                                    std::wstring(kGreeter) + L", converts to " + converted + L"; type information: IGreeter");

  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter));
  Command(IDC_UNREGISTER);
  Command(IDM_REFRESH);
  EXPECT_FALSE(Select(TObjectType::otCLSID, kGreeter));
  EXPECT_FALSE(Select(TObjectType::otCLSID, kBroken));
}

TEST_F(Details, CreateInstanceReportsAClassThatFails) {
  std::wstring guid = NewGuid(), progId = L"Vantrel.Missing" + guid.substr(1, 8);
  reg.SetString(L"CLSID\\" + guid, L"", L"Missing Server");
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\no\\such\\server.dll");
  reg.SetString(L"CLSID\\" + guid + L"\\ProgID", L"", progId);
  reg.SetString(progId + L"\\CLSID", L"", guid);
  // A ProgID that leads nowhere does not matter: the class is created by its CLSID.
  std::wstring unnamed = NewGuid(), nowhere = L"Vantrel.Nowhere" + unnamed.substr(1, 8);
  reg.SetString(L"CLSID\\" + unnamed + L"\\ProgID", L"", nowhere);
  struct Case {
    const std::wstring& guid;
    std::wstring text;
  } cases[] = {
      {guid, L"Cannot create an instance of Missing Server: "},
      {unnamed, L"Cannot create an instance of " + unnamed + L": "},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Select(TObjectType::otCLSID, c.guid));
    TBoxes boxes;
    Command(IDM_CREATEINST);
    ASSERT_EQ(boxes.List.size(), 1u) << testing::PrintToString(c.text);
    EXPECT_EQ(boxes.List[0].Text.substr(0, c.text.size()), c.text) << testing::PrintToString(boxes.List[0].Text);
    EXPECT_NE(boxes.List[0].Text.find(L"(Error code: 0x8"), std::wstring::npos);
    EXPECT_EQ(boxes.List[0].Caption, L"Error");
    EXPECT_EQ(form->StatusText(), L"Ready");
    EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
  }
}

TEST_F(Details, ServersRunInTheirOwnFolderAndALibraryPlantedInTheCurrentOneIsNotRegistered) {
  ASSERT_TRUE(FileExists(ServerDll()));
  // The test server under a bare name, only in this program's current folder.
  TTempDir current;
  CopyFileTo(ServerDll(), current.File(L"vantrel-planted.dll"));
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.Path().c_str());
  TScopeExit restore([&] { SetCurrentDirectoryW(saved); });
  const std::wstring planted = NewGuid();
  reg.SetString(L"CLSID\\" + planted, L"", L"Planted");
  reg.SetString(L"CLSID\\" + planted + L"\\InprocServer32", L"", L"vantrel-planted.dll");
  ASSERT_TRUE(Select(TObjectType::otCLSID, planted));
  Command(IDC_REGISTER);
  EXPECT_NE(form->StatusText().find(L"regsvr32.exe \"vantrel-planted.dll\" ended with exit code"), std::wstring::npos)
      << testing::PrintToString(form->StatusText());
  HKEY key = nullptr;
  const std::wstring greeter = std::wstring(L"CLSID\\") + kGreeter;
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, greeter.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
      << "the library in the current folder was registered";
  if (key) RegCloseKey(key);

  // A program server runs in its own folder, by its full path.
  DeleteFileW((ProgramServer() + L".cwd").c_str());
  const std::wstring entry = NewGuid();
  reg.SetString(L"CLSID\\" + entry, L"", L"Program Server Entry");
  reg.SetString(L"CLSID\\" + entry + L"\\LocalServer32", L"", ProgramServer());
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, entry));
  Command(IDC_REGISTER);
  EXPECT_EQ(form->StatusText(), L"Registered VantrelTestProgramServer.exe");
  const std::string folder = ReadFileBytes(ProgramServer() + L".cwd");
  EXPECT_TRUE(SameTextAscii(std::wstring(reinterpret_cast<const wchar_t*>(folder.data()), folder.size() / 2) + L"\\",
                            ExtractFilePath(ProgramServer())));
  Command(IDC_UNREGISTER);
}

TEST_F(Details, AServerThatDoesNotEndIsTheUsersToStop) {
  ASSERT_TRUE(FileExists(ProgramServer()));
  DeleteFileW((ProgramServer() + L".log").c_str());
  const std::wstring entry = NewGuid();
  reg.SetString(L"CLSID\\" + entry, L"", L"Endless Server");
  reg.SetString(L"CLSID\\" + entry + L"\\LocalServer32", L"", L"\"" + ProgramServer() + L"\"");
  ASSERT_TRUE(Select(TObjectType::otCLSID, entry));
  // It ignores /RegServer for a minute, as a server that starts serving would.
  TServerSettings settings;
  settings.Set(L"VANTREL_TEST_SERVER_DELAY_MS", L"60000");
  form->RegistrationTimeLimitMs = 1000;
  std::vector<std::wstring> questions;
  form->AskKeepWaiting = [&](const std::wstring& AQuestion) {
    questions.push_back(AQuestion);
    return questions.size() < 2;  // wait once more, then stop it
  };
  Command(IDC_REGISTER);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0].rfind(L"VantrelTestProgramServer.exe /RegServer has been running for 1 second and has not ended.", 0), 0u)
      << testing::PrintToString(questions[0]);
  EXPECT_NE(questions[1].find(L"for 2 seconds"), std::wstring::npos);
  EXPECT_EQ(form->StatusText(), L"Stopped VantrelTestProgramServer.exe /RegServer after 2 seconds");
  EXPECT_FALSE(form->Registering());
  EXPECT_TRUE(ShownStates().Register);
  // The program is gone: it never wrote its class.
  HKEY key = nullptr;
  const std::wstring written = std::wstring(L"CLSID\\") + kProgramClass;
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, written.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  if (key) RegCloseKey(key);
}

TEST_F(Details, RegisteringWithoutAdministratorRightsAsksForThem) {
  ASSERT_TRUE(FileExists(ServerDll()));
  const std::wstring stale = NewGuid();
  reg.SetString(L"CLSID\\" + stale, L"", L"Stale");
  reg.SetString(L"CLSID\\" + stale + L"\\InprocServer32", L"", ServerDll());
  form->ProcessElevated = [] { return false; };
  std::vector<std::wstring> asked;
  form->StartElevated = [&](const std::wstring& AProgram, const std::wstring& AParameters, const std::wstring&) {
    asked.push_back(AProgram + L" " + AParameters);
    SetLastError(ERROR_CANCELLED);  // the user says no at the prompt
    return THandle();
  };
  ASSERT_TRUE(Select(TObjectType::otCLSID, stale));
  EXPECT_TRUE(form->ShieldShown());
  TBoxes boxes;
  Command(IDC_REGISTER);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], L"\"" + SystemDirectoryPath() + L"regsvr32.exe\" \"" + ServerDll() + L"\"");
  EXPECT_TRUE(boxes.List.empty()) << testing::PrintToString(boxes.List.empty() ? L"" : boxes.List[0].Text);
  EXPECT_EQ(form->StatusText(), L"Not registered VantrelTestServer.dll: administrator rights were refused");
  EXPECT_FALSE(form->Registering());
  // Granted, the platform's own elevated start runs the tool, and the entry is read again at once.
  form->StartElevated = [](const std::wstring& AProgram, const std::wstring& AParameters, const std::wstring& ADirectory) {
    return StartElevatedProcess(AProgram, AParameters, SW_HIDE, ADirectory);
  };
  Command(IDC_REGISTER);
  EXPECT_EQ(form->StatusText(), L"Registered VantrelTestServer.dll");
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter));
  Command(IDC_UNREGISTER);
  EXPECT_EQ(form->StatusText(), L"Unregistered VantrelTestServer.dll");
  bool gone = true;
  for (const auto& line : Lines()) gone = gone && line.second.find(L"InprocServer32") == std::wstring::npos;
  EXPECT_TRUE(gone) << "the entry was not read again";
  // Run elevated, nothing is asked.
  form->ProcessElevated = [] { return true; };
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, stale));
  EXPECT_FALSE(form->ShieldShown());
}

TEST_F(Details, ProgramServerRegistersItselfWhileTheWindowStaysResponsive) {
  ASSERT_TRUE(FileExists(ProgramServer())) << testing::PrintToString(ProgramServer());
  DeleteFileW((ProgramServer() + L".log").c_str());
  reg.DeleteKey(std::wstring(L"CLSID\\") + kProgramClass);
  // A program server as programs register themselves: quoted, with an argument.
  std::wstring entry = NewGuid();
  reg.SetString(L"CLSID\\" + entry, L"", L"Program Server Entry");
  reg.SetString(L"CLSID\\" + entry + L"\\LocalServer32", L"", L"\"" + ProgramServer() + L"\" /automation");
  ASSERT_TRUE(Select(TObjectType::otCLSID, entry));
  ASSERT_TRUE(ShownStates().Register);
  TServerSettings settings;
  settings.Set(L"VANTREL_TEST_SERVER_DELAY_MS", L"1500");
  // While the program runs, another thread checks that the window answers, that the commands wait,
  // and clicks Register again and closes the window.
  std::atomic<bool> answered{false}, waiting{false};
  std::thread watcher([&] {
    for (int i = 0; i < 500 && !form->Registering(); ++i) Sleep(10);
    DWORD_PTR result = 0;
    answered = SendMessageTimeoutW(form->Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0;
    HMENU menu = GetMenu(form->Handle());
    HWND button = GetDlgItem(form->TabPanel().Handle(), IDC_REGISTER);
    waiting = (GetMenuState(menu, IDM_REG, MF_BYCOMMAND) & MF_GRAYED) &&
              (GetMenuState(menu, IDM_REFRESH, MF_BYCOMMAND) & MF_GRAYED) &&
              (GetMenuState(menu, IDM_VIEW64, MF_BYCOMMAND) & MF_GRAYED) && !IsWindowEnabled(button);
    PostMessageW(form->Handle(), WM_COMMAND, IDC_REGISTER, 0);
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
  });
  Command(IDC_REGISTER);
  watcher.join();
  Application().ProcessMessages();
  EXPECT_TRUE(answered);
  EXPECT_TRUE(waiting);
  EXPECT_TRUE(IsWindow(form->Handle()));
  EXPECT_EQ(ServerRuns(), std::vector<std::string>{"/RegServer"});
  EXPECT_EQ(form->StatusText(), L"Registered VantrelTestProgramServer.exe");
  EXPECT_EQ(ShownStates(), (TCommandStates{true, true, true}));
  EXPECT_TRUE(MenuEnabled(IDM_REFRESH));
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);

  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, kProgramClass)) << "the program registered no class";
  EXPECT_EQ(form->NameText(), L"Vantrel Test Program Server");
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Server, L"\"" + ProgramServer() + L"\" /automation");
  settings.Set(L"VANTREL_TEST_SERVER_DELAY_MS", L"");
  Command(IDC_UNREGISTER);
  EXPECT_EQ(ServerRuns(), (std::vector<std::string>{"/RegServer", "/UnregServer"}));
  Command(IDM_REFRESH);
  EXPECT_FALSE(Select(TObjectType::otCLSID, kProgramClass));

  // A program server tells nothing itself: its exit code goes to the error box.
  ASSERT_TRUE(Select(TObjectType::otCLSID, entry));
  settings.Set(L"VANTREL_TEST_SERVER_EXIT_CODE", L"5");
  TBoxes boxes;
  Command(IDC_REGISTER);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text, L"VantrelTestProgramServer.exe /RegServer ended with exit code 5");
  EXPECT_EQ(ServerRuns().size(), 3u);
}

std::wstring StatusPart(TfrmMain& AForm, int APart) {
  wchar_t text[256] = {};
  SendMessageW(AForm.StatusBar(), SB_GETTEXTW, static_cast<WPARAM>(APart), reinterpret_cast<LPARAM>(text));
  return text;
}

TEST_F(Details, AFileWithSeveralLibrariesAsksWhichToOpen) {
  const std::wstring file = BinaryPath(L"tests\\tlbgen\\fixtures\\TwoLibraries.dll");
  form->ExecuteOpenDialog = [&](std::wstring& AFileName) {
    AFileName = file;
    return true;
  };
  std::vector<std::wstring> offered;
  int answer = 1;
  form->ChooseTypeLibrary = [&](const std::wstring& AFile, const std::vector<std::wstring>& AChoices) {
    EXPECT_EQ(AFile, L"TwoLibraries.dll");
    offered = AChoices;
    return answer;
  };
  std::wstring opened;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    const std::wstring unit = AViewer.UnitLines().Text(L"\n");
    opened = unit.find(L"unit PensLib;") != std::wstring::npos ? L"PensLib" : unit.find(L"unit ShapesLib;") != std::wstring::npos ? L"ShapesLib" : L"?";
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TScopeExit unhook([] { SetTypeLibViewerHook(nullptr); });
  Command(IDM_VIEWTYPELIB);
  EXPECT_EQ(offered, (std::vector<std::wstring>{L"1: ShapesLib \u2013 Shapes fixture library",
                                                L"2: PensLib \u2013 Pens, imported by Drawing"}));
  EXPECT_EQ(opened, L"PensLib");
  // Cancelled, nothing opens; a file with one library opens without a question.
  answer = -1;
  opened.clear();
  Command(IDM_VIEWTYPELIB);
  EXPECT_EQ(opened, L"");
  offered.clear();
  form->ExecuteOpenDialog = [&](std::wstring& AFileName) {
    AFileName = BinaryPath(L"tests\\tlbgen\\fixtures\\Shapes.tlb");
    return true;
  };
  Command(IDM_VIEWTYPELIB);
  EXPECT_TRUE(offered.empty());
  EXPECT_EQ(opened, L"ShapesLib");
}

TEST_F(Details, EntryWhoseKeyCannotBeReadIsListedMarkedAndSaysSo) {
  const std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Hidden class");
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\hidden.dll");
  TUnreadableKey locked(L"CLSID\\" + guid);
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  HTREEITEM node = TreeView_GetSelection(form->Tree());
  wchar_t text[256] = {};
  TVITEMW item = {};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = node;
  item.pszText = text;
  item.cchTextMax = 256;
  TreeView_GetItem(form->Tree(), &item);
  EXPECT_EQ(std::wstring(text), guid + kUnreadableMarker);
  EXPECT_EQ(form->NameText(), guid);
  EXPECT_EQ(ShownStates(), TCommandStates{});
  const TLines lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].second, L"CLSID\\" + guid + L": the key cannot be read (" +
                                 Trim(SysErrorMessage(ERROR_ACCESS_DENIED)) + L")");
  // Loading the catalog again says how many entries cannot be read.
  Command(IDM_REFRESH);
  EXPECT_NE(form->StatusText().find(L"1 entry of Object Classes cannot be read"), std::wstring::npos)
      << testing::PrintToString(form->StatusText());
}

TEST_F(Details, TypeLibraryListsEveryVersionAndEachOpensInTheViewer) {
  // Two versions of one library, each with its own file: 12.1 (key c.1) and 1.0, whose key the
  // registry enumerates first. Another version key names no version.
  const std::wstring guid = NewGuid(), key = L"TypeLib\\" + guid;
  const std::wstring shapes = BinaryPath(L"tests\\tlbgen\\fixtures\\Shapes.tlb");
  const std::wstring pens = BinaryPath(L"tests\\tlbgen\\fixtures\\Pens.tlb");
  reg.SetString(key + L"\\1.0", L"", L"Old version");
  reg.SetString(key + L"\\1.0\\0\\win32", L"", pens);
  reg.SetString(key + L"\\c.1", L"", L"Current version");
  reg.SetString(key + L"\\c.1\\0\\win32", L"", shapes);
  reg.SetString(key + L"\\c.1\\409\\win64", L"", L"C:\\x64\\shapes.tlb");
  reg.SetString(key + L"\\beta", L"", L"Not a version");
  ASSERT_TRUE(Select(TObjectType::otTypeLib, guid));
  EXPECT_EQ(form->NameText(), L"Current version");
  const TLines lines = Lines();
  const TLines expected = {
      {0, L"Versions (double-click one to open it)"},
      {1, L"12.1 (key c.1) = Current version"},
      {2, L"locale 0, win32 = " + shapes},
      {2, L"locale 409, win64 = C:\\x64\\shapes.tlb"},
      {1, L"1.0 = Old version"},
      {2, L"locale 0, win32 = " + pens},
      {1, L"beta (no version) = Not a version"},
  };
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(TLines(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);

  // The unit shown names the library the viewer read.
  std::wstring caption;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    const std::wstring unit = AViewer.UnitLines().Text(L"\n");
    caption = unit.find(L"unit ShapesLib;") != std::wstring::npos ? L"ShapesLib"
              : unit.find(L"unit PensLib;") != std::wstring::npos  ? L"PensLib"
                                                                   : L"?";
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TScopeExit unhook([] { SetTypeLibViewerHook(nullptr); });
  // Without a version chosen, the version the catalog lists: the highest.
  Command(IDC_VIEW);
  EXPECT_EQ(caption, L"ShapesLib");
  // A version's line or one below it chooses it; Enter on it opens it too.
  auto selectLine = [&](const std::wstring& AText) {
    for (HTREEITEM item = TreeView_GetRoot(form->RegTree().Handle()); item;) {
      const TRegistryNodeData* data = form->RegTree().NodeData(item);
      if (data && data->Text == AText) return TreeView_SelectItem(form->RegTree().Handle(), item) != FALSE;
      HTREEITEM next = TreeView_GetChild(form->RegTree().Handle(), item);
      if (!next) next = TreeView_GetNextSibling(form->RegTree().Handle(), item);
      for (HTREEITEM up = item; !next && up;) {
        up = TreeView_GetParent(form->RegTree().Handle(), up);
        if (up) next = TreeView_GetNextSibling(form->RegTree().Handle(), up);
      }
      item = next;
    }
    return false;
  };
  ASSERT_TRUE(selectLine(L"locale 0, win32 = " + pens));
  caption.clear();
  Command(IDC_VIEW);
  EXPECT_EQ(caption, L"PensLib");
  ASSERT_TRUE(selectLine(L"1.0 = Old version"));
  caption.clear();
  form->RegTreeOpen(*form->RegTree().SelectedData());
  EXPECT_EQ(caption, L"PensLib");
  // A line that is no version opens nothing by itself; the View command opens the listed version.
  ASSERT_TRUE(selectLine(L"beta (no version) = Not a version"));
  caption.clear();
  form->RegTreeOpen(*form->RegTree().SelectedData());
  EXPECT_EQ(caption, L"");
  Command(IDC_VIEW);
  EXPECT_EQ(caption, L"ShapesLib");
}

TEST_F(Details, EachRegistryViewShowsItsOwnRegistrations) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  const std::wstring only32 = NewGuid(), only64 = NewGuid(), both = NewGuid();
  const std::wstring intf = NewGuid(), proxy32 = NewGuid(), proxy64 = NewGuid();
  reg.SetString(L"CLSID\\" + only32, L"", L"Only 32", TView::v32);
  reg.SetString(L"CLSID\\" + only32 + L"\\InprocServer32", L"", L"C:\\vendor\\x32.ocx", TView::v32);
  reg.SetString(L"CLSID\\" + only32 + L"\\ProgID", L"", L"Vantrel.Only32", TView::v32);
  reg.SetString(L"CLSID\\" + only32 + L"\\TypeLib", L"", NewGuid(), TView::v32);
  reg.SetString(L"CLSID\\" + only64, L"", L"Only 64", TView::v64);
  for (TView view : {TView::v32, TView::v64}) {
    const std::wstring bits = view == TView::v64 ? L"64" : L"32";
    reg.SetString(L"CLSID\\" + both, L"", L"Both " + bits, view);
    reg.SetString(L"CLSID\\" + both + L"\\InprocServer32", L"", L"C:\\vendor\\both" + bits + L".dll", view);
    reg.SetString(L"Interface\\" + intf, L"", L"IVantrelSplit", view);
    reg.SetString(L"Interface\\" + intf + L"\\ProxyStubClsid32", L"", view == TView::v64 ? proxy64 : proxy32, view);
  }
  reg.SetString(L"CLSID\\" + proxy32, L"", L"Proxy 32", TView::v32);
  reg.SetString(L"CLSID\\" + proxy64, L"", L"Proxy 64", TView::v64);
  auto hasLine = [&](const std::wstring& AText) {
    for (const auto& line : Lines()) {
      if (line.second == AText) return true;
    }
    return false;
  };
  HMENU menu = GetMenu(form->Handle());
  auto checked = [&](UINT AId) { return (GetMenuState(menu, AId, MF_BYCOMMAND) & MF_CHECKED) != 0; };

  // The process's own view at start, with its own registrations, details and commands; then the
  // other view, and back.
  const TRegView own = ProcessRegView(), other = OtherRegView();
  auto onlyIn = [&](TRegView AView) { return AView == TRegView::rv64 ? only64 : only32; };
  auto bitsOf = [](TRegView AView) { return std::wstring(AView == TRegView::rv64 ? L"64" : L"32"); };
  auto proxyOf = [&](TRegView AView) { return AView == TRegView::rv64 ? proxy64 : proxy32; };
  auto menuOf = [](TRegView AView) { return static_cast<UINT>(AView == TRegView::rv64 ? IDM_VIEW64 : IDM_VIEW32); };
  EXPECT_EQ(form->View(), own);
  EXPECT_TRUE(checked(menuOf(own)));
  EXPECT_FALSE(checked(menuOf(other)));
  EXPECT_TRUE(MenuEnabled(menuOf(other)));
  EXPECT_EQ(StatusPart(*form, 2), bitsOf(own) + L"-bit Registry");
  if (own == TRegView::rv32) {
    // Every 32-bit control with its details and commands.
    ASSERT_TRUE(Select(TObjectType::otCLSID, only32));
    EXPECT_EQ(form->NameText(), L"Only 32");
    EXPECT_EQ(ShownStates(), (TCommandStates{true, true, true}));
    EXPECT_TRUE(hasLine(L"InprocServer32 = C:\\vendor\\x32.ocx"));
  } else {
    ASSERT_TRUE(Select(TObjectType::otCLSID, only64));
    EXPECT_EQ(form->NameText(), L"Only 64");
  }
  EXPECT_FALSE(Select(TObjectType::otCLSID, onlyIn(other)));
  ASSERT_TRUE(Select(TObjectType::otCLSID, both));
  EXPECT_EQ(form->NameText(), L"Both " + bitsOf(own));
  EXPECT_TRUE(hasLine(L"InprocServer32 = C:\\vendor\\both" + bitsOf(own) + L".dll"));
  ASSERT_TRUE(Select(TObjectType::otInterface, intf));
  EXPECT_TRUE(hasLine(proxyOf(own) + L" = Proxy " + bitsOf(own)));

  Command(menuOf(other));
  EXPECT_EQ(form->View(), other);
  EXPECT_TRUE(checked(menuOf(other)));
  EXPECT_FALSE(checked(menuOf(own)));
  EXPECT_EQ(StatusPart(*form, 2), bitsOf(other) + L"-bit Registry");
  // Nothing of the other view stays on screen.
  EXPECT_EQ(TreeView_GetSelection(form->Tree()), nullptr);
  EXPECT_EQ(form->NameText(), L"");
  EXPECT_EQ(form->GuidText(), L"");
  EXPECT_FALSE(form->TabPanel().Visible());
  EXPECT_EQ(form->RegTree().LineCount(), 0u);
  EXPECT_EQ(ShownStates(), TCommandStates{});
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_FALSE(Select(TObjectType::otCLSID, onlyIn(own)));
  ASSERT_TRUE(Select(TObjectType::otCLSID, onlyIn(other)));
  EXPECT_EQ(form->NameText(), L"Only " + bitsOf(other));
  ASSERT_TRUE(Select(TObjectType::otCLSID, both));
  EXPECT_EQ(form->NameText(), L"Both " + bitsOf(other));
  EXPECT_TRUE(hasLine(L"InprocServer32 = C:\\vendor\\both" + bitsOf(other) + L".dll"));
  ASSERT_TRUE(Select(TObjectType::otInterface, intf));
  EXPECT_TRUE(hasLine(proxyOf(other) + L" = Proxy " + bitsOf(other)));
  EXPECT_FALSE(hasLine(proxyOf(own) + L" = Proxy " + bitsOf(own)));
  // Save writes the catalog on screen.
  TTempDir temp;
  form->ExecuteSaveDialog = [&](std::wstring& AFileName) {
    AFileName = temp.File(L"classes.csv");
    return true;
  };
  form->cmSave(2);
  const std::string saved = ReadFileBytes(temp.File(L"classes.csv"));
  EXPECT_NE(saved.find(WideToCodePage(onlyIn(other), CP_ACP)), std::string::npos);
  EXPECT_EQ(saved.find(WideToCodePage(onlyIn(own), CP_ACP)), std::string::npos);

  Command(menuOf(own));
  EXPECT_EQ(form->View(), own);
  EXPECT_TRUE(Select(TObjectType::otCLSID, onlyIn(own)));
}

TEST_F(Details, SixtyFourBitServerRegistersInItsViewAndCreateInstanceNamesTheOtherBuild) {
  VANTREL_SKIP_WITHOUT_32BIT_PROGRAMS("the 32-bit build does not run");
  if (!IsWow64()) GTEST_SKIP() << "needs the 32-bit build on 64-bit Windows";
  if (!FileExists(ServerDll64())) GTEST_SKIP() << "no 64-bit build beside this one";
  std::wstring stale = NewGuid();
  reg.SetString(L"CLSID\\" + stale, L"", L"Stale 64", TView::v64);
  reg.SetString(L"CLSID\\" + stale + L"\\InprocServer32", L"", ServerDll64(), TView::v64);
  Command(IDM_VIEW64);
  ASSERT_TRUE(Select(TObjectType::otCLSID, stale));
  Command(IDC_REGISTER);
  EXPECT_EQ(form->StatusText(), L"Registered VantrelTestServer.dll");
  // The 64-bit regsvr32 ran: the classes are registered for 64-bit programs only.
  auto registered = [](REGSAM AView) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(L"CLSID\\") + kGreeter;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | AView, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  };
  EXPECT_TRUE(registered(KEY_WOW64_64KEY));
  EXPECT_FALSE(registered(KEY_WOW64_32KEY));
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter));
  EXPECT_EQ(form->NodeData(TreeView_GetSelection(form->Tree())).Server, ServerDll64());

  TBoxes boxes;
  Command(IDM_CREATEINST);
  ASSERT_EQ(boxes.List.size(), 1u);
  const std::wstring& text = boxes.List[0].Text;
  EXPECT_NE(text.find(L"Vantrel Test Greeter has an in-process server of the 64-bit registry, which this 32-bit "
                      L"Vantrel cannot load: the 64-bit build of Vantrel can create it."),
            std::wstring::npos)
      << testing::PrintToString(text);
  // Its type library is registered for 64-bit programs: the viewer finds it in this view.
  std::wstring caption;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    caption = AViewer.Caption();
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  Command(IDM_VIEWTLB);
  SetTypeLibViewerHook(nullptr);
  EXPECT_EQ(caption, L"ITypeLib Viewer - [Vantrel Test Greeter]");
  EXPECT_EQ(boxes.List.size(), 1u);

  Command(IDC_UNREGISTER);
  Command(IDM_REFRESH);
  EXPECT_FALSE(Select(TObjectType::otCLSID, kGreeter));
  EXPECT_FALSE(registered(KEY_WOW64_64KEY));
}
