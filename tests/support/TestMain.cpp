// Entry point of every test program: the platform set up as the program sets it up.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace {

// Every test starts without the layout an earlier run of the program left in the prefix.
class TForgetLayout : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Vantrel");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Vantrel");
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new TForgetLayout);
  vantrel::Application().Initialize();
  vantrel::Application().SetTitle(L"Vantrel");
  return RUN_ALL_TESTS();
}
