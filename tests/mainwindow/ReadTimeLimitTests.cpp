// The time limit of type library reads as a setting: kept in the registry between runs, read back
// with a fallback for what is broken there, and set by the user in a dialog of the main window.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/Main.h"
#include "mainwindow/resource.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XInput.h"
#include "typelib/ReadTimeLimit.h"
#include "tlbviewer/TLBViewer.h"
#include "typelib/TypeLibReader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A settings key of its own below HKEY_CURRENT_USER, removed at the end, and the reader defaults
// as they were.
class ReadTimeLimit : public testing::Test {
 protected:
  void SetUp() override { Saved = TypeLibReaderDefaults(); }
  void TearDown() override {
    TypeLibReaderDefaults() = Saved;
    RegDeleteTreeW(HKEY_CURRENT_USER, Key.c_str());
  }

  void SetValue(DWORD AType, const void* AData, DWORD ASize) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), L"ReadTimeLimit", 0, AType, static_cast<const BYTE*>(AData), ASize),
              ERROR_SUCCESS);
  }
  void SetSeconds(DWORD ASeconds) { SetValue(REG_DWORD, &ASeconds, sizeof(ASeconds)); }

  const std::wstring Key = L"Software\\VantrelTests\\" + NewGuid();
  TTypeLibReadOptions Saved;
};

}  // namespace

TEST_F(ReadTimeLimit, AStoredLimitIsReadBackAndWhatIsBrokenThereGivesTheDefault) {
  EXPECT_EQ(StoredReadTimeLimit(HKEY_CURRENT_USER, Key), 30u) << "no key";
  const DWORD seconds[] = {1, 45, 3600};
  for (DWORD value : seconds) {
    SetSeconds(value);
    EXPECT_EQ(StoredReadTimeLimit(HKEY_CURRENT_USER, Key), value);
  }
  const DWORD64 quad = 45;
  const WORD shortNumber = 45;
  const wchar_t text[] = L"45";
  const struct {
    const char* Label;
    DWORD Type;
    const void* Data;
    DWORD Size;
  } broken[] = {
      {"zero", REG_DWORD, "\0\0\0\0", 4},
      {"beyond an hour", REG_DWORD, "\x11\x0E\0\0", 4},  // 3601
      {"negative", REG_DWORD, "\xFF\xFF\xFF\xFF", 4},
      {"a number as text", REG_SZ, text, sizeof(text)},
      {"a number of eight bytes", REG_QWORD, &quad, sizeof(quad)},
      {"two bytes called a number", REG_DWORD, &shortNumber, sizeof(shortNumber)},
      {"eight bytes called a number", REG_DWORD, &quad, sizeof(quad)},
      {"no data", REG_DWORD, nullptr, 0},
  };
  for (const auto& c : broken) {
    SetValue(c.Type, c.Data, c.Size);
    EXPECT_EQ(StoredReadTimeLimit(HKEY_CURRENT_USER, Key), 30u) << c.Label;
  }
  // What is out of range is not stored.
  EXPECT_THROW(StoreReadTimeLimit(HKEY_CURRENT_USER, Key, 0), Exception);
  EXPECT_THROW(StoreReadTimeLimit(HKEY_CURRENT_USER, Key, 3601), Exception);
  EXPECT_EQ(StoredReadTimeLimit(HKEY_CURRENT_USER, Key), 30u);
}

// The stored limit is the one a read is stopped at, and the message names it.
TEST_F(ReadTimeLimit, TheStoredLimitStopsAHangingRead) {
  SetSeconds(1);
  UseStoredReadTimeLimit(HKEY_CURRENT_USER, Key);
  EXPECT_EQ(TypeLibReaderDefaults().TimeLimit, 1000u);
  TypeLibReaderDefaults().Program = WindowsPath(kFaultyReader);
  SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", L"hang");
  TScopeExit unset([] { SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", nullptr); });
  TMessageBoxRecorder boxes;
  TObjectData data;
  data.Server = BinaryPath(L"tests\\tlbgen\\fixtures\\Shapes.tlb");
  OpenTypeLibViewer(data);
  ASSERT_EQ(boxes.List.size(), 1u);
  EXPECT_EQ(boxes.List[0].Text, L"Cannot read the type library \"" + data.Server +
                                    L"\": reading it took longer than 1 second, and it was stopped.");

  // A broken value gives the default.
  SetValue(REG_SZ, L"1", 4);
  UseStoredReadTimeLimit(HKEY_CURRENT_USER, Key);
  EXPECT_EQ(TypeLibReaderDefaults().TimeLimit, 30000u);
}

namespace {

// The time limit dialog as a watching thread finds it: its number field and what it shows.
struct TDialogSeen {
  HWND Window = nullptr;
  std::wstring Shown;
  bool Typed = false;
};

HWND VisibleDialog() {
  HWND dialog = FindWindowW(L"TdlgReadTimeLimit", nullptr);
  return dialog && IsWindowVisible(dialog) ? dialog : nullptr;
}

// Waits on a thread of its own for the dialog, notes the number it shows, then gives it the input
// AInput (xdotool commands) as the user would.
std::thread AnswerDialog(TDialogSeen& ASeen, std::vector<std::string> AInput) {
  return std::thread([&ASeen, AInput] {
    if (!WaitFor([&] { return (ASeen.Window = VisibleDialog()) != nullptr; })) return;
    HWND edit = FindWindowExW(ASeen.Window, nullptr, L"Edit", nullptr);
    wchar_t text[32] = {};
    GetWindowTextW(edit, text, 32);
    ASeen.Shown = text;
    ASeen.Typed = FocusWindow(ASeen.Window);
    for (const std::string& input : AInput) ASeen.Typed = ASeen.Typed && XDoTool(input);
    // A dialog the input did not close is closed, so that the test goes on.
    if (!WaitFor([&] { return VisibleDialog() == nullptr; })) PostMessageW(ASeen.Window, WM_CLOSE, 0, 0);
  });
}

}  // namespace

// The dialog shows the limit in force; what the user enters and takes with OK holds at once and
// is stored; Esc changes nothing; a number out of the range is refused with a word, and the dialog
// stays for another.
TEST_F(ReadTimeLimit, TheDialogStoresWhatTheUserEntered) {
  TfrmMain form;
  form.SettingsKey = Key;
  Application().SetMainForm(&form);
  TScopeExit unset([] { Application().SetMainForm(nullptr); });
  form.Show();
  TypeLibReaderDefaults().TimeLimit = 30000;
  const struct {
    const char* Label;
    std::vector<std::string> Input;
    std::wstring Shown;
    DWORD Seconds;
    size_t Boxes;
  } cases[] = {
      {"typed and taken with Enter", {"type --delay 50 45", "key Return"}, L"30", 45, 0},
      {"typed, then Esc", {"type --delay 50 7", "key Escape"}, L"45", 45, 0},
      {"out of the range, then in it",
       {"type --delay 50 0", "key Return", "type --delay 50 120", "key Return"},
       L"45",
       120,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TMessageBoxRecorder boxes;
    TDialogSeen seen;
    std::thread answering = AnswerDialog(seen, c.Input);
    SendMessageW(form.Handle(), WM_COMMAND, IDM_READTIMELIMIT, 0);
    answering.join();
    ASSERT_TRUE(seen.Window) << "no dialog showed";
    EXPECT_TRUE(seen.Typed);
    EXPECT_EQ(seen.Shown, c.Shown);
    EXPECT_FALSE(IsWindowVisible(seen.Window));
    EXPECT_EQ(TypeLibReaderDefaults().TimeLimit, c.Seconds * 1000);
    EXPECT_EQ(StoredReadTimeLimit(HKEY_CURRENT_USER, Key), c.Seconds);
    ASSERT_EQ(boxes.List.size(), c.Boxes);
    if (c.Boxes) {
      EXPECT_EQ(boxes.List[0].Text, L"Enter a number of seconds from 1 to 3600.");
    }
  }
}
