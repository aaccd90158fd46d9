#include <gtest/gtest.h>

#include "catalog/CsvExport.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

TObjectData Entry(const std::wstring& AName, const std::wstring& AGuid) {
  TObjectData data;
  data.Name = AName;
  data.GUID = AGuid;
  return data;
}

}  // namespace

TEST(Csv, HeaderThenOneLinePerEntryInListOrder) {
  TObjects list = {Entry(L"beta", L"{B}"), Entry(L"Alpha", L"{A}")};
  EXPECT_EQ(FormatCsv(list), "Name;GUID\r\nbeta;{B}\r\nAlpha;{A}\r\n");
  EXPECT_EQ(FormatCsv({}), "Name;GUID\r\n");
}

TEST(Csv, FieldsThatWouldBreakTheFormatAreQuoted) {
  struct Case {
    const wchar_t* text;
    const char* field;
  } cases[] = {
      {L"plain name", "plain name"},
      {L"a;b", "\"a;b\""},
      {L"say \"hi\"", "\"say \"\"hi\"\"\""},
      {L"two\r\nlines", "\"two\r\nlines\""},
      {L"lf\n", "\"lf\n\""},
      {L"", ""},
      {L"'single' , comma", "'single' , comma"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CsvField(c.text), c.field) << testing::PrintToString(std::wstring(c.text));
  }
  EXPECT_EQ(FormatCsv({Entry(L"x;y", L"{G;1}")}), "Name;GUID\r\n\"x;y\";\"{G;1}\"\r\n");
}

TEST(Csv, TextIsWrittenInTheAnsiCodePage) {
  std::wstring name = L"Caf\x00E9 \x4E2D";
  std::string expected = WideToCodePage(name, CP_ACP);
  EXPECT_EQ(FormatCsv({Entry(name, L"{G}")}), "Name;GUID\r\n" + expected + ";{G}\r\n");
  EXPECT_EQ(FormatCsv({Entry(name, L"{G}")}).find("\xEF\xBB\xBF"), std::string::npos);
}

TEST(Csv, SaveListReplacesTheFileAndReportsWriteErrors) {
  TTempDir temp;
  std::wstring file = temp.File(L"out.csv");
  WriteFileText(file, "old content that is longer than the new one\r\n");
  SaveList(file, {Entry(L"n", L"g")});
  EXPECT_EQ(ReadFileBytes(file), "Name;GUID\r\nn;g\r\n");
  CreateDirectoryW(temp.File(L"folder.csv").c_str(), nullptr);
  EXPECT_THROW(SaveList(temp.File(L"folder.csv"), {}), EFileError);
  EXPECT_THROW(SaveList(temp.File(L"missing\\x.csv"), {}), EFileError);
}

TEST(CommandLine, SwitchesTakeADashOrSlashInAnyCase) {
  for (const wchar_t* yes : {L"/SO", L"-so", L"/sO", L"-SO"}) EXPECT_TRUE(IsSwitch(yes, L"SO")) << yes;
  for (const wchar_t* no : {L"SO", L"--SO", L"/SOX", L"/S", L"\\SO", L"/ SO", L""}) {
    EXPECT_FALSE(IsSwitch(no, L"SO")) << testing::PrintToString(std::wstring(no));
  }
}

TEST(CommandLine, ExportsRequestedListsInFixedOrderAndGoesOnAfterAFailure) {
  TTempDir temp;
  CreateDirectoryW(temp.File(L"Intfs.csv").c_str(), nullptr);  // cannot be written
  std::vector<std::wstring> errors;
  TExportOutcome outcome = RunCommandLineExport({L"/x", L"-st", L"/SI", L"/sa"}, temp.Path(),
                                                [&](const std::wstring& e) { errors.push_back(e); },
                                                ProcessRegView());
  EXPECT_EQ(outcome, TExportOutcome::Failed);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(L"Intfs.csv"), std::wstring::npos);
  EXPECT_TRUE(FileExists(temp.File(L"AppIds.csv")));
  EXPECT_TRUE(FileExists(temp.File(L"TypeLibs.csv")));
  EXPECT_FALSE(FileExists(temp.File(L"ObjClasses.csv")));
}

TEST(CommandLine, UnknownParametersAreNoSwitch) {
  TTempDir temp;
  auto fail = [](const std::wstring&) { ADD_FAILURE(); };
  EXPECT_EQ(RunCommandLineExport({L"/x", L"SO", L"file.tlb", L"/64"}, temp.Path(), fail, ProcessRegView()),
            TExportOutcome::NoSwitch);
  EXPECT_EQ(RunCommandLineExport({L"-SA"}, temp.Path(), fail, ProcessRegView()), TExportOutcome::Succeeded);
}

TEST(CommandLine, ViewSwitchesChooseTheRegistryView) {
  struct Case {
    TStringList params;
    bool is64BitWindows;
    bool chosen;
    TRegView view;
  } cases[] = {
      {{L"/SO"}, true, true, ProcessRegView()},
      {{L"/64", L"/SO"}, true, true, TRegView::rv64},
      {{L"/SO", L"-32"}, true, true, TRegView::rv32},
      {{L"/32"}, false, true, TRegView::rv32},
      {{L"/64", L"/SO"}, false, false, ProcessRegView()},  // 32-bit Windows has no 64-bit registry
      {{L"/32", L"/64"}, true, false, ProcessRegView()},
      {{L"64", L"/640"}, true, true, ProcessRegView()},  // no switches
  };
  for (const Case& c : cases) {
    TRegView view = c.view == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
    std::wstring error = L"stale";
    EXPECT_EQ(ChooseRegView(c.params, c.is64BitWindows, view, error), c.chosen) << testing::PrintToString(c.params);
    EXPECT_EQ(view, c.view) << testing::PrintToString(c.params);
    EXPECT_EQ(error.empty(), c.chosen) << testing::PrintToString(error);
  }
  std::wstring error;
  TRegView view;
  ChooseRegView({L"/64"}, false, view, error);
  EXPECT_EQ(error, L"/64: this is 32-bit Windows, which has no 64-bit registry");
}
