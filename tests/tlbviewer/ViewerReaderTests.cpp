// The viewer over a library read by a child process: the same tree and text as a library loaded
// here, and a reader that fails ends in the error box while the program goes on.
#include <gtest/gtest.h>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestSupport.h"
#include "typelib/ReaderSandbox.h"
#include "tlbviewer/TLBViewer.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::wstring ViewerFixture() { return BinaryPath(L"tests\\tlbviewer\\fixtures\\Viewer.tlb"); }

// Every node's text, indented by level.
std::vector<std::wstring> TreeTexts(TfrmTLBView& AViewer, HTREEITEM AParent = nullptr, int ALevel = 0) {
  std::vector<std::wstring> texts;
  HWND tree = AViewer.Tree();
  HTREEITEM child = AParent ? TreeView_GetChild(tree, AParent) : TreeView_GetRoot(tree);
  for (; child; child = TreeView_GetNextSibling(tree, child)) {
    texts.push_back(std::wstring(static_cast<size_t>(2 * ALevel), L' ') + AViewer.TreeGetText(child));
    for (const std::wstring& text : TreeTexts(AViewer, child, ALevel + 1)) texts.push_back(text);
  }
  return texts;
}

// The reader the viewer starts, for as long as the object lives: the faulty one, failing as
// AFault says, within ATimeLimit.
class TFaultyDefaults {
 public:
  TFaultyDefaults(const wchar_t* AFault, DWORD ATimeLimit) : FSaved(TypeLibReaderDefaults()) {
    SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", AFault);
    TypeLibReaderDefaults().Program = WindowsPath(kFaultyReader);
    TypeLibReaderDefaults().TimeLimit = ATimeLimit;
  }
  ~TFaultyDefaults() {
    TypeLibReaderDefaults() = FSaved;
    SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", nullptr);
  }
  TFaultyDefaults(const TFaultyDefaults&) = delete;
  TFaultyDefaults& operator=(const TFaultyDefaults&) = delete;

 private:
  TTypeLibReadOptions FSaved;
};

}  // namespace

TEST(ViewerReader, ReadLibraryShowsTheTreeAndTextOfTheLoadedOne) {
  for (const std::wstring& path : {ViewerFixture(), SystemDirectoryPath() + L"mshtml.tlb"}) {
    const std::string label = WideToCodePage(path, CP_UTF8);
    TObjectData data;
    data.Server = path;
    TComPtr<ITypeLib> loaded;
    ASSERT_EQ(LoadTypeLibraryFile(path, loaded), S_OK) << label;
    TTypeLibRead read = ReadTypeLibrary(data, ProcessRegView());
    ASSERT_TRUE(read.Library) << WideToCodePage(read.Message, CP_UTF8);
    auto expected = CreateTypeLibViewer(nullptr, data, loaded.get());
    auto viewer = CreateTypeLibViewer(nullptr, data, read.Library.get());
    EXPECT_EQ(TreeTexts(*viewer), TreeTexts(*expected)) << label;
    EXPECT_EQ(viewer->SynMemo().Text(), expected->SynMemo().Text()) << label;
    EXPECT_EQ(viewer->PanelText(1), expected->PanelText(1)) << label;
  }
}

TEST(ViewerReader, CrashingReaderEndsInTheErrorBoxAndNoViewerOpens) {
  TFaultyDefaults reader(L"crash", 30000);
  TMessageBoxRecorder boxes;
  bool opened = false;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    opened = true;
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TObjectData data;
  data.Server = ViewerFixture();
  OpenTypeLibViewer(data);
  SetTypeLibViewerHook(nullptr);
  EXPECT_FALSE(opened);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Caption, L"Error");
  EXPECT_EQ(boxes.List[0].Text, L"Cannot read the type library \"" + ViewerFixture() +
                                    L"\": the reading process crashed (exception 0xC0000005, access violation).");
  EXPECT_EQ(boxes.List[0].Cursor, TCursor::crDefault);
}

namespace {

// What a timer saw of the main window while a reader ran.
struct TSeen {
  HWND Main = nullptr;
  int Ticks = 0;
  bool EnabledWhileReading = false;
  TCursor Cursor = TCursor::crDefault;
} seen;

void CALLBACK TimerTick(HWND, UINT, UINT_PTR, DWORD) {
  ++seen.Ticks;
  seen.EnabledWhileReading = seen.EnabledWhileReading || IsWindowEnabled(seen.Main);
  seen.Cursor = Application().Cursor();
}

}  // namespace

// While the reader runs, the main window handles its messages (it repaints, timers run) but takes
// no input; afterwards it takes input again.
TEST(ViewerReader, MainWindowWaitsHandlingMessagesWithoutInput) {
  TfrmMain form;
  Application().SetMainForm(&form);
  form.Show();
  TFaultyDefaults reader(L"hang", 1500);
  TMessageBoxRecorder boxes;
  seen = TSeen();
  seen.Main = form.Handle();
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &TimerTick);
  TObjectData data;
  data.Server = ViewerFixture();
  OpenTypeLibViewer(data);
  KillTimer(nullptr, timer);
  Application().SetMainForm(nullptr);
  EXPECT_GT(seen.Ticks, 0);
  EXPECT_FALSE(seen.EnabledWhileReading);
  EXPECT_EQ(seen.Cursor, TCursor::crHourGlass);
  EXPECT_TRUE(IsWindowEnabled(form.Handle()));
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_NE(boxes.List[0].Text.find(L"reading it took longer than 1500 ms, and it was stopped."), std::wstring::npos);
}

// A sandbox that cannot be applied is asked about once per run: the answer, yes or no, holds for
// every later read.
TEST(ViewerReader, ReadingWithoutTheSandboxIsAskedOncePerRun) {
  SetReaderSandboxFault(TSandboxStep::ssAssign);
  TScopeExit noFault([] {
    SetReaderSandboxFault(TSandboxStep::ssNone);
    ForgetUnsandboxedAnswer();
  });
  TObjectData data;
  data.Server = ViewerFixture();
  int opened = 0;
  SetTypeLibViewerHook([&](TfrmTLBView& AViewer) {
    ++opened;
    PostMessageW(AViewer.Handle(), WM_CLOSE, 0, 0);
  });
  TScopeExit noHook([] { SetTypeLibViewerHook(nullptr); });

  for (const int answer : {IDNO, IDYES}) {
    ForgetUnsandboxedAnswer();
    opened = 0;
    TMessageBoxRecorder boxes;
    boxes.Answer = answer;
    OpenTypeLibViewer(data);
    OpenTypeLibViewer(data);
    const std::vector<TMessageBoxRecorder::TBox>& shown = boxes.List;
    ASSERT_GE(shown.size(), 1u) << answer;
    EXPECT_EQ(shown[0].Flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO)) << answer;
    EXPECT_NE(shown[0].Text.find(L"(the process cannot be put into its job: "), std::wstring::npos)
        << WideToCodePage(shown[0].Text, CP_UTF8);
    if (answer == IDYES) {
      EXPECT_EQ(shown.size(), 1u);
      EXPECT_EQ(opened, 2);
    } else {
      // Refused twice, asked once.
      ASSERT_EQ(shown.size(), 3u);
      EXPECT_EQ(opened, 0);
      for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(shown[i].Caption, L"Error");
        EXPECT_NE(shown[i].Text.find(L"the sandbox of the reading process cannot be applied (the process cannot be "
                                     L"put into its job: "),
                  std::wstring::npos)
            << WideToCodePage(shown[i].Text, CP_UTF8);
      }
    }
  }
}
