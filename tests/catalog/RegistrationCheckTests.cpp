// The registration check over the registry of the test prefix: each kind of problem is found on
// a broken fixture and not on its sound twin, in the view asked for; the problems file.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_SysUtils.h"
#include "catalog/CsvExport.h"
#include "catalog/RegistrationCheck.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

TStringList Environment() {
  TStringList environment;
  ReadEnvironmentBlock(environment);
  return environment;
}

// The problems found for one GUID, as "problem: value".
TStringList ProblemsOf(const TRegistrationProblems& AProblems, const std::wstring& AGuid) {
  TStringList found;
  for (const TRegistrationProblem& problem : AProblems) {
    if (SameTextAscii(problem.GUID, AGuid)) found.push_back(problem.Problem + L": " + problem.Value);
  }
  return found;
}

// A class key with one value below it.
std::wstring NewClass(TRegistryFixture& AReg, const std::wstring& AName, const std::wstring& ASubkey,
                      const std::wstring& AValue, TView AView = TView::Both) {
  const std::wstring guid = NewGuid();
  AReg.SetString(L"CLSID\\" + guid, L"", AName, AView);
  if (!ASubkey.empty()) AReg.SetString(L"CLSID\\" + guid + L"\\" + ASubkey, L"", AValue, AView);
  return guid;
}

}  // namespace

TEST(RegistrationCheck, EachProblemIsFoundAndItsSoundTwinIsNot) {
  TRegistryFixture reg;
  const std::wstring system = SystemDirectoryPath();
  // The win32 files below are found where 32-bit programs find them: in a 64-bit-only prefix,
  // whose 32-bit system folder is empty, they are copied there for the test.
  const std::wstring system32 = ViewSystemDirectoryPath(TRegView::rv32);
  TFileCopy stdole(system + L"stdole2.tlb", system32 + L"stdole2.tlb");
  TFileCopy oleaut(system + L"oleaut32.dll", system32 + L"oleaut32.dll");
  const std::wstring registeredLib = NewGuid();
  reg.SetString(L"TypeLib\\" + registeredLib + L"\\1.0\\0\\win32", L"", system + L"stdole2.tlb");
  const std::wstring registeredApp = NewGuid();
  reg.SetString(L"AppID\\" + registeredApp, L"", L"Registered application");
  const std::wstring missingLib = NewGuid(), missingApp = NewGuid(), missingClass = NewGuid();

  struct TCase {
    const char* Label;
    std::wstring Guid;
    TStringList Expected;
  };
  std::vector<TCase> cases;
  auto add = [&](const char* ALabel, const std::wstring& AGuid, TStringList AExpected) {
    cases.push_back({ALabel, AGuid, std::move(AExpected)});
  };
  add("missing in-process server", NewClass(reg, L"A", L"InprocServer32", L"C:\\no\\such\\server.dll"),
      {L"Server file not found: C:\\no\\such\\server.dll"});
  add("present in-process server", NewClass(reg, L"A'", L"InprocServer32", L"%SystemRoot%\\system32\\ole32.dll"), {});
  add("bare name found where the loader looks", NewClass(reg, L"B'", L"InprocServer32", L"ole32.dll"), {});
  add("bare name found nowhere", NewClass(reg, L"B", L"InprocServer32", L"vantrel-no-such.dll"),
      {L"Server file not found: vantrel-no-such.dll"});
  add("quoted program server with arguments",
      NewClass(reg, L"C", L"LocalServer32", L"\"C:\\Program Files\\No Vendor\\x.exe\" /automation"),
      {L"Server file not found: \"C:\\Program Files\\No Vendor\\x.exe\" /automation"});
  add("present program server with arguments",
      NewClass(reg, L"C'", L"LocalServer32", L"\"" + system + L"cmd.exe\" /automation"), {});

  const std::wstring progId = L"Vantrel.CheckTest." + NewGuid().substr(1, 8);
  const std::wstring pointsBack = NewClass(reg, L"D'", L"ProgID", progId);
  reg.SetString(progId + L"\\CLSID", L"", pointsBack);
  add("ProgID that leads back", pointsBack, {});
  const std::wstring otherProgId = progId + L".Other";
  reg.SetString(otherProgId + L"\\CLSID", L"", NewGuid());
  add("ProgID that leads elsewhere", NewClass(reg, L"D", L"ProgID", otherProgId),
      {L"ProgID does not lead back to the class: " + otherProgId});
  add("ProgID without a key", NewClass(reg, L"D2", L"ProgID", L"Vantrel.NoSuchProgId"),
      {L"ProgID does not lead back to the class: Vantrel.NoSuchProgId"});

  add("registered type library", NewClass(reg, L"E'", L"TypeLib", registeredLib), {});
  add("unregistered type library", NewClass(reg, L"E", L"TypeLib", missingLib),
      {L"Type library not registered: " + missingLib});
  const std::wstring appClass = NewClass(reg, L"F", L"", L"");
  reg.SetString(L"CLSID\\" + appClass, L"AppID", missingApp);
  add("unregistered application ID", appClass, {L"Application ID not registered: " + missingApp});
  const std::wstring soundAppClass = NewClass(reg, L"F'", L"", L"");
  reg.SetString(L"CLSID\\" + soundAppClass, L"AppID", registeredApp);
  add("registered application ID", soundAppClass, {});

  const std::wstring brokenInterface = NewGuid(), soundInterface = NewGuid();
  reg.SetString(L"Interface\\" + brokenInterface, L"", L"IBroken");
  reg.SetString(L"Interface\\" + brokenInterface + L"\\ProxyStubClsid32", L"", missingClass);
  reg.SetString(L"Interface\\" + brokenInterface + L"\\TypeLib", L"", missingLib);
  add("interface with unregistered proxy and library", brokenInterface,
      {L"Proxy/stub class not registered: " + missingClass, L"Type library not registered: " + missingLib});
  reg.SetString(L"Interface\\" + soundInterface, L"", L"ISound");
  reg.SetString(L"Interface\\" + soundInterface + L"\\ProxyStubClsid32", L"",
                L"{00020424-0000-0000-C000-000000000046}");
  reg.SetString(L"Interface\\" + soundInterface + L"\\TypeLib", L"", registeredLib);
  add("interface with registered proxy and library", soundInterface, {});

  const std::wstring brokenLib = NewGuid();
  reg.SetString(L"TypeLib\\" + brokenLib + L"\\1.0", L"", L"Broken library");
  reg.SetString(L"TypeLib\\" + brokenLib + L"\\1.0\\0\\win32", L"", L"C:\\no\\such\\library.tlb");
  reg.SetString(L"TypeLib\\" + brokenLib + L"\\1.0\\FLAGS", L"", L"0");
  reg.SetString(L"TypeLib\\" + brokenLib + L"\\2.0\\409\\win32", L"", system + L"oleaut32.dll\\2");
  add("library version whose file is gone", brokenLib,
      {L"Type library file not found (win32): C:\\no\\such\\library.tlb"});
  add("registered library", registeredLib, {});

  const std::wstring brokenApp = NewGuid();
  reg.SetString(L"AppID\\" + brokenApp, L"", L"Broken application");
  reg.SetString(L"AppID\\" + brokenApp, L"LocalService", L"VantrelNoSuchService");
  reg.SetString(L"AppID\\" + brokenApp, L"DllSurrogate", L"C:\\no\\such\\surrogate.exe");
  add("application ID with a missing service and surrogate", brokenApp,
      {L"Service not installed: VantrelNoSuchService", L"Surrogate program not found: C:\\no\\such\\surrogate.exe"});
  const std::wstring soundApp = NewGuid();
  reg.SetString(L"AppID\\" + soundApp, L"", L"Sound application");
  reg.SetString(L"AppID\\" + soundApp, L"DllSurrogate", L"");
  add("application ID with the platform's surrogate", soundApp, {});
  const std::wstring unknownAccount = NewGuid();
  reg.SetString(L"AppID\\" + unknownAccount, L"RunAs", L"VantrelNoSuchAccount");
  add("application ID run as an unknown account", unknownAccount, {L"RunAs account not found: VantrelNoSuchAccount"});
  wchar_t user[256] = {};
  DWORD userLength = 256;
  ASSERT_TRUE(GetUserNameW(user, &userLength));
  for (const std::wstring& account : {std::wstring(L"Interactive User"), std::wstring(user)}) {
    const std::wstring knownAccount = NewGuid();
    reg.SetString(L"AppID\\" + knownAccount, L"RunAs", account);
    add("application ID run as a known account", knownAccount, {});
  }

  const TRegistrationProblems problems = CheckRegistrations(ProcessRegView(), Environment());
  for (const TCase& c : cases) EXPECT_EQ(ProblemsOf(problems, c.Guid), c.Expected) << c.Label;
  const auto entry = std::find_if(problems.begin(), problems.end(),
                                  [&](const TRegistrationProblem& AProblem) { return AProblem.GUID == brokenApp; });
  ASSERT_NE(entry, problems.end());
  EXPECT_EQ(entry->Name, L"Broken application");
  EXPECT_EQ(entry->Catalog, TObjectType::otAppID);
}

TEST(RegistrationCheck, ClassesAreCheckedInTheViewAsked) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  TRegistryFixture reg;
  const std::wstring only64 = NewClass(reg, L"Only 64", L"InprocServer32", L"C:\\no\\x64.dll", TView::v64);
  const std::wstring only32 = NewClass(reg, L"Only 32", L"InprocServer32", L"C:\\no\\x86.dll", TView::v32);
  const TRegistrationProblems in64 = CheckRegistrations(TRegView::rv64, Environment());
  const TRegistrationProblems in32 = CheckRegistrations(TRegView::rv32, Environment());
  EXPECT_EQ(ProblemsOf(in64, only64), TStringList{L"Server file not found: C:\\no\\x64.dll"});
  EXPECT_TRUE(ProblemsOf(in64, only32).empty());
  EXPECT_EQ(ProblemsOf(in32, only32), TStringList{L"Server file not found: C:\\no\\x86.dll"});
  EXPECT_TRUE(ProblemsOf(in32, only64).empty());
}

TEST(RegistrationCheck, ProgressCountsEveryEntryAndAStopEndsTheCheck) {
  TRegistryFixture reg;
  NewClass(reg, L"Broken", L"InprocServer32", L"C:\\no\\such\\server.dll");
  size_t last = 0, total = 0, calls = 0;
  CheckRegistrations(ProcessRegView(), Environment(), [&](size_t ADone, size_t ATotal) {
    EXPECT_GE(ADone, last);
    last = ADone;
    total = ATotal;
    ++calls;
    return true;
  });
  EXPECT_GT(calls, 1u);
  EXPECT_EQ(last, total);
  const TRegistrationProblems stopped =
      CheckRegistrations(ProcessRegView(), Environment(), [](size_t, size_t) { return false; });
  EXPECT_TRUE(stopped.empty());
}

TEST(RegistrationCheck, ProblemsFileHasItsHeaderAndTheCatalogsRules) {
  TRegistrationProblems problems = {
      {TObjectType::otCLSID, L"A;B", L"{G}", L"Server file not found", L"\"C:\\x.exe\" /a"},
      {TObjectType::otInterface, L"IFoo", L"{I}", L"Type library not registered", L"{T}"},
  };
  EXPECT_EQ(FormatProblemsCsv(problems),
            "Catalog;Name;GUID;Problem;Value\r\n"
            "Object Classes;\"A;B\";{G};Server file not found;\"\"\"C:\\x.exe\"\" /a\"\r\n"
            "Interfaces;IFoo;{I};Type library not registered;{T}\r\n");
  EXPECT_EQ(FormatProblemsCsv({}), "Catalog;Name;GUID;Problem;Value\r\n");
}

TEST(RegistrationCheck, ProblemsSwitchWritesTheFileInTheViewChosen) {
  TRegistryFixture reg;
  const std::wstring broken = NewClass(reg, L"Broken class", L"InprocServer32", L"C:\\no\\such\\server.dll",
                                       Is64BitWindows() ? TView::v64 : TView::Both);
  TTempDir temp;
  std::wstring errors;
  auto report = [&](const std::wstring& AText) { errors += AText; };
  const TRegView view = Is64BitWindows() ? TRegView::rv64 : ProcessRegView();
  EXPECT_EQ(RunCommandLineExport({L"/SP"}, temp.Path(), report, view), TExportOutcome::Succeeded);
  EXPECT_TRUE(errors.empty());
  const std::string text = ReadFileBytes(temp.File(L"Problems.csv"));
  EXPECT_EQ(text.rfind("Catalog;Name;GUID;Problem;Value\r\n", 0), 0u);
  const std::string line =
      "Object Classes;Broken class;" + WideToCodePage(broken, CP_ACP) + ";Server file not found;C:\\no\\such\\server.dll\r\n";
  EXPECT_NE(text.find(line), std::string::npos);
  if (Is64BitWindows()) {
    EXPECT_EQ(RunCommandLineExport({L"-sp"}, temp.Path(), report, TRegView::rv32), TExportOutcome::Succeeded);
    EXPECT_EQ(ReadFileBytes(temp.File(L"Problems.csv")).find(line), std::string::npos);
  }
}
