// Entry point of every test program: the platform set up as the program sets it up.
#include <gtest/gtest.h>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  vantrel::Application().Initialize();
  vantrel::Application().SetTitle(L"Vantrel");
  return RUN_ALL_TESTS();
}
