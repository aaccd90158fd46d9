// The details pane and the entry commands against registrations in the test prefix.
#include <gtest/gtest.h>

#include "catalog/Zarvek_Dialogs.h"
#include "catalog/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
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

const wchar_t kGreeter[] = L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A03}";
const wchar_t kBroken[] = L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A04}";

}  // namespace

TEST(CommandStates, FollowServerProgIdAndTypeLib) {
  struct Case {
    const wchar_t* server;
    const wchar_t* progId;
    const wchar_t* typeLib;
    TCommandStates expected;
  } cases[] = {
      {L"", L"", L"", {false, false, false}},
      {L"x.dll", L"", L"", {true, false, true}},
      {L"", L"A.B", L"", {false, true, false}},
      {L"", L"", L"{L}", {false, false, true}},
      {L"x.dll", L"A.B", L"{L}", {true, true, true}},
  };
  for (const Case& c : cases) {
    TObjectData data;
    data.Server = c.server;
    data.ProgId = c.progId;
    data.TypeLib = c.typeLib;
    EXPECT_EQ(CommandStates(data), c.expected) << testing::PrintToString(std::wstring(c.server));
  }
}

TEST(Registration, ParametersQuoteThePathAsStored) {
  EXPECT_EQ(RegistrationParameters(L"C:\\x\\a.dll", false), L"\"C:\\x\\a.dll\"");
  EXPECT_EQ(RegistrationParameters(L"C:\\x\\a.dll", true), L"/u \"C:\\x\\a.dll\"");
  EXPECT_EQ(RegistrationParameters(L"\"C:\\x y\\a.exe\" /auto", false), L"\"\"C:\\x y\\a.exe\" /auto\"");
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
  EXPECT_EQ(LocateIconFile(L"shell32.dll"), SystemDirectoryPath() + L"shell32.dll");
  EXPECT_EQ(LocateIconFile(L"no-such-file.dll"), L"");
  EXPECT_EQ(LocateIconFile(L""), L"");
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

TEST_F(Details, ClassWithTypeLibraryButNoServerCanOnlyBeViewed) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"No Server");
  reg.SetString(L"CLSID\\" + guid + L"\\TypeLib", L"", NewGuid());
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  EXPECT_EQ(ShownStates(), (TCommandStates{false, false, true}));
}

TEST_F(Details, KeyDeletedSinceTheCatalogWasLoadedShowsNothing) {
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Gone Soon");
  TreeView_Expand(form->Tree(), form->OCRoot, TVE_EXPAND);
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
  TreeView_SelectItem(form->Tree(), form->OCRoot);
  EXPECT_FALSE(form->TabPanel().Visible());
  EXPECT_EQ(form->ShownImage(), 0);
  EXPECT_TRUE(MenuEnabled(IDM_REG));
  EXPECT_EQ(form->GuidText(), L"Node contains " + std::to_wstring(form->OCList.size()) + L" items");
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

TEST_F(Details, IconIndexThatIsNoIntegerEndsTheSelectionInTheErrorBox) {
  std::wstring good = NewGuid(), bad = NewGuid();
  reg.SetString(L"CLSID\\" + good, L"", L"Good");
  reg.SetString(L"CLSID\\" + bad + L"\\DefaultIcon", L"", L"shell32.dll,abc");
  reg.SetString(L"CLSID\\" + bad + L"\\ProgID", L"", L"Bad.Icon");
  ASSERT_TRUE(Select(TObjectType::otCLSID, good));
  TLines before = Lines();
  TBoxes boxes;
  ASSERT_TRUE(Select(TObjectType::otCLSID, bad));
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text, L"'abc' is not a valid integer value");
  EXPECT_EQ(boxes.List[0].Caption, L"Vantrel");
  EXPECT_EQ(boxes.List[0].Cursor, TCursor::crDefault);
  EXPECT_EQ(Lines(), before);  // the registry view keeps its previous lines
  EXPECT_EQ(form->GuidText(), bad);  // the header and the states set so far remain
  EXPECT_TRUE(MenuEnabled(IDM_CREATEINST));
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
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
  Command(IDM_REFRESH);
  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter)) << "the registered class is not listed";
  EXPECT_EQ(form->NameText(), L"Vantrel Test Greeter");
  EXPECT_EQ(ShownStates(), (TCommandStates{true, true, true}));

  TBoxes boxes;
  Command(IDM_CREATEINST);
  EXPECT_TRUE(boxes.List.empty()) << testing::PrintToString(boxes.List.empty() ? L"" : boxes.List[0].Text);
  EXPECT_EQ(form->StatusText(), L"Ready");
  ASSERT_TRUE(Select(TObjectType::otCLSID, kBroken));
  Command(IDM_CREATEINST);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Error");
  EXPECT_EQ(boxes.List[0].Flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(boxes.List[0].Text, OleErrorText(TYPE_E_ELEMENTNOTFOUND));

  ASSERT_TRUE(Select(TObjectType::otCLSID, kGreeter));
  Command(IDC_UNREGISTER);
  Command(IDM_REFRESH);
  EXPECT_FALSE(Select(TObjectType::otCLSID, kGreeter));
  EXPECT_FALSE(Select(TObjectType::otCLSID, kBroken));
}

TEST_F(Details, CreateInstanceOfAClassWhoseServerIsMissingShowsNothing) {
  std::wstring guid = NewGuid(), progId = L"Vantrel.Missing" + guid.substr(1, 8);
  reg.SetString(L"CLSID\\" + guid, L"", L"Missing Server");
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"C:\\no\\such\\server.dll");
  reg.SetString(L"CLSID\\" + guid + L"\\ProgID", L"", progId);
  reg.SetString(progId + L"\\CLSID", L"", guid);
  ASSERT_TRUE(Select(TObjectType::otCLSID, guid));
  TBoxes boxes;
  Command(IDM_CREATEINST);
  EXPECT_TRUE(boxes.List.empty());
  EXPECT_EQ(form->StatusText(), L"Ready");
  EXPECT_EQ(Application().Cursor(), TCursor::crDefault);
}
