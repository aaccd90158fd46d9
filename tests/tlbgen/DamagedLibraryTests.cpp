// Damaged copies of real libraries through the built Vantrel.exe /SU, /PAS and /IDL in turn, as a
// script runs it: every run ends in a written file (exit code 0) or a message (exit code 1), never
// in a crash or a hang, however the platform's loader fares with the copy in the reading process.
//
// VANTREL_FUZZ_COPIES (copies per library, default 10) and VANTREL_FUZZ_SEED make longer runs;
// tools/fuzz runs thousands and reads the summary line this test prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tests/tlbgen/LibraryData.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

uint32_t Setting(const char* AName, uint32_t ADefault) {
  const char* text = std::getenv(AName);
  return text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : ADefault;
}

// The kind of message a refused copy ended with.
std::string MessageKind(const std::string& AStdErr) {
  if (AStdErr.find("the reading process crashed") != std::string::npos) return "reader crashed";
  if (AStdErr.find("took longer than") != std::string::npos) return "reader stopped";
  if (AStdErr.find("damaged record") != std::string::npos) return "damaged record";
  if (AStdErr.find("(Error code: 0x") != std::string::npos) return "loader refused";
  return "other";
}

}  // namespace

TEST(DamagedLibraries, EveryRunEndsInAUnitOrAMessage) {
  const uint32_t copies = Setting("VANTREL_FUZZ_COPIES", 10);
  const uint32_t seed = Setting("VANTREL_FUZZ_SEED", 20261210);
  const std::wstring sources[] = {FixturePath(L"Shapes.tlb"), SystemDirectoryPath() + L"stdole2.tlb",
                                  SystemDirectoryPath() + L"scrrun.dll", SystemDirectoryPath() + L"oleacc.dll",
                                  SystemDirectoryPath() + L"msxml6.dll"};
  TTempDir temp;
  std::map<std::string, int> outcomes;
  int runs = 0;
  ULONGLONG slowest = 0;
  const ULONGLONG started = GetTickCount64();
  for (const std::wstring& source : sources) {
    const std::string data = ReadLibraryData(source);
    ASSERT_FALSE(data.empty()) << WideToCodePage(source, CP_UTF8);
    for (uint32_t i = 0; i < copies; ++i) {
      TMutation kind;
      const std::string copy = MutatedCopy(data, seed, i, kind);
      const std::wstring file = temp.File(L"damaged.tlb");
      const std::wstring output = temp.File(L"out.pas");
      DeleteFileW(output.c_str());
      WriteFileText(file, copy);
      // Each generator in turn reads what the damaged library's record gives.
      static const wchar_t* const kSwitches[] = {L"/SU", L"/PAS", L"/IDL"};
      const wchar_t* exportSwitch = kSwitches[i % 3];
      const std::string label = WideToCodePage(source, CP_UTF8) + " copy " + std::to_string(i) + " (" +
                                MutationName(kind) + ", " + WideToCodePage(exportSwitch, CP_UTF8) + ")";
      const ULONGLONG start = GetTickCount64();
      const std::wstring command =
          L"\"" + ProgramPath() + L"\" " + exportSwitch + L" \"" + file + L"\" \"" + output + L"\"";
      TProcessResult run = RunProcess(command, 120000, temp.Path());
      slowest = std::max(slowest, GetTickCount64() - start);
      ++runs;
      ASSERT_TRUE(run.Started) << label;
      ASSERT_FALSE(run.TimedOut) << label;
      ASSERT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << label << ": exit code " << run.ExitCode;
      if (run.ExitCode == 0) {
        ++outcomes["written"];
        EXPECT_TRUE(FileExists(output)) << label;
      } else {
        const std::string kindOfMessage = MessageKind(run.StdErr);
        ++outcomes[kindOfMessage];
        EXPECT_NE(kindOfMessage, "other") << label << ": " << run.StdErr;
        EXPECT_FALSE(FileExists(output)) << label;
      }
    }
  }
  std::string summary = "fuzz: " + std::to_string(runs) + " runs in " +
                        std::to_string((GetTickCount64() - started) / 1000) + " s, slowest " +
                        std::to_string(slowest) + " ms;";
  for (const auto& [outcome, count] : outcomes) summary += " " + outcome + " " + std::to_string(count) + ";";
  std::printf("%s\n", summary.c_str());
  EXPECT_GT(outcomes["written"], 0);
}
