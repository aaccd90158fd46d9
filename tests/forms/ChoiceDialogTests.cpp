// The dialog that asks for one of several choices, run modally with real keyboard messages.
#include <gtest/gtest.h>

#include <windows.h>

#include "forms/Zarvek.Forms.ChoiceDialog.h"

using namespace vantrel;

namespace {

// Posts keys to the dialog's list once its modal loop runs.
void PostKeys(HWND AList, std::initializer_list<UINT> AKeys) {
  for (UINT key : AKeys) {
    PostMessageW(AList, WM_KEYDOWN, key, 0);
    PostMessageW(AList, WM_KEYUP, key, 0xC0000001);
  }
}

}  // namespace

TEST(ChoiceDialog, TheChoiceMadeIsReturnedAndCancellingGivesNone) {
  const std::vector<std::wstring> choices = {L"1: ShapesLib", L"2: PensLib", L"3: DrawingLib"};
  struct TCase {
    const char* Label;
    std::initializer_list<UINT> Keys;
    int Expected;
  } cases[] = {
      {"Enter takes the first, selected at start", {VK_RETURN}, 0},
      {"Down twice and Enter", {VK_DOWN, VK_DOWN, VK_RETURN}, 2},
      {"Esc cancels", {VK_DOWN, VK_ESCAPE}, -1},
  };
  for (const TCase& c : cases) {
    TdlgChoice dialog(nullptr, L"Which one?", choices);
    EXPECT_EQ(SendMessageW(dialog.List(), LB_GETCOUNT, 0, 0), 3);
    PostKeys(dialog.List(), c.Keys);
    EXPECT_EQ(dialog.Execute(), c.Expected) << c.Label;
  }
  // A double-click on a choice takes it.
  TdlgChoice dialog(nullptr, L"Which one?", choices);
  SendMessageW(dialog.List(), LB_SETCURSEL, 1, 0);
  PostMessageW(dialog.Handle(), WM_COMMAND, MAKEWPARAM(100, LBN_DBLCLK), reinterpret_cast<LPARAM>(dialog.List()));
  EXPECT_EQ(dialog.Execute(), 1);
}
