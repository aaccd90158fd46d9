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

// A class key with one value below it. A class whose case is not about its server gets a sound
// one: a class without any is a problem of its own.
std::wstring NewClass(TRegistryFixture& AReg, const std::wstring& AName, const std::wstring& ASubkey,
                      const std::wstring& AValue, TView AView = TView::Both) {
  const std::wstring guid = NewGuid();
  AReg.SetString(L"CLSID\\" + guid, L"", AName, AView);
  if (!ASubkey.empty()) AReg.SetString(L"CLSID\\" + guid + L"\\" + ASubkey, L"", AValue, AView);
  if (ASubkey.find(L"Server") == std::wstring::npos) {
    AReg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"ole32.dll", AView);
  }
  return guid;
}

// While it lives, the process's current folder is another.
class TCurrentFolder {
 public:
  explicit TCurrentFolder(const std::wstring& AFolder) {
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    FSaved = saved;
    SetCurrentDirectoryW(AFolder.c_str());
  }
  ~TCurrentFolder() { SetCurrentDirectoryW(FSaved.c_str()); }
  TCurrentFolder(const TCurrentFolder&) = delete;
  TCurrentFolder& operator=(const TCurrentFolder&) = delete;

 private:
  std::wstring FSaved;
};

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
  const std::wstring present = NewClass(reg, L"A'", L"", L"");
  reg.SetString(L"CLSID\\" + present + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\ole32.dll", TView::Both,
                REG_EXPAND_SZ);
  add("present in-process server", present, {});
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

TEST(RegistrationCheck, CommonLeftoversAreFoundInBothViewsAndTheirSoundTwinsAreNot) {
  TRegistryFixture reg;
  TTempDir temp;
  const std::wstring system = SystemDirectoryPath();
  // A program whose unquoted path has blanks, and the program its first word names.
  CreateDirectoryW(temp.File(L"Vendor App").c_str(), nullptr);
  WriteFileText(temp.File(L"Vendor App\\server.exe"), "MZ");
  WriteFileText(temp.File(L"Vendor.exe"), "MZ");
  // A library only in this program's current folder, which COM never looks in.
  WriteFileText(temp.File(L"vantrel-current-folder-only.dll"), "MZ");
  TCurrentFolder current(temp.Path());
  // Both views find the platform's files: a 64-bit-only prefix gets copies in its empty 32-bit folder.
  const std::wstring system32 = ViewSystemDirectoryPath(TRegView::rv32);
  TFileCopy ole32(system + L"ole32.dll", system32 + L"ole32.dll");
  TFileCopy notepad(system + L"notepad.exe", system32 + L"notepad.exe");
  TFileCopy cmd(system + L"cmd.exe", system32 + L"cmd.exe");

  const std::wstring registered = NewClass(reg, L"Registered", L"", L"");
  struct TCase {
    const char* Label;
    std::wstring Guid;
    TStringList Expected;
  };
  std::vector<TCase> cases;
  auto add = [&](const char* ALabel, const std::wstring& AGuid, TStringList AExpected) {
    cases.push_back({ALabel, AGuid, std::move(AExpected)});
  };

  // Servers read as COM reads them.
  std::wstring guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\ole32.dll");
  add("variable in a REG_SZ server", guid,
      {L"Server path names a variable in a REG_SZ value, which COM does not expand: %SystemRoot%\\system32\\ole32.dll"});
  guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\ole32.dll", TView::Both,
                REG_EXPAND_SZ);
  add("variable in a REG_EXPAND_SZ server", guid, {});
  add("library named without .dll", NewClass(reg, L"L", L"InprocServer32", L"ole32"), {});
  add("program named without .exe", NewClass(reg, L"P", L"LocalServer32", L"notepad /automation"), {});
  add("library only in the current folder", NewClass(reg, L"Q", L"InprocServer32", L"vantrel-current-folder-only.dll"),
      {L"Server file not found: vantrel-current-folder-only.dll"});
  add("unquoted program path whose first word is a program",
      NewClass(reg, L"U", L"LocalServer32", temp.File(L"Vendor App\\server.exe") + L" /automation"),
      {L"Unquoted server path with blanks starts another program first: " + temp.File(L"Vendor.exe")});
  add("quoted program path", NewClass(reg, L"U'", L"LocalServer32", L"\"" + temp.File(L"Vendor App\\server.exe") + L"\""),
      {});
  guid = NewClass(reg, L"S", L"LocalServer32", L"\"" + system + L"cmd.exe\"");
  reg.SetString(L"CLSID\\" + guid + L"\\LocalServer32", L"ServerExecutable", L"C:\\no\\such\\server.exe");
  add("ServerExecutable that points at nothing", guid, {L"ServerExecutable not found: C:\\no\\such\\server.exe"});
  guid = NewClass(reg, L"S'", L"LocalServer32", L"\"" + system + L"cmd.exe\"");
  reg.SetString(L"CLSID\\" + guid + L"\\LocalServer32", L"ServerExecutable", system + L"cmd.exe");
  add("ServerExecutable that exists", guid, {});

  // Classes that name other classes, or nothing that serves them.
  const std::wstring missingClass = NewGuid();
  add("TreatAs an unregistered class", NewClass(reg, L"T", L"TreatAs", missingClass),
      {L"TreatAs names a class that is not registered: " + missingClass});
  add("TreatAs a registered class", NewClass(reg, L"T'", L"TreatAs", registered), {});
  add("AutoConvertTo an unregistered class", NewClass(reg, L"V", L"AutoConvertTo", missingClass),
      {L"AutoConvertTo names a class that is not registered: " + missingClass});
  guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"", L"Nothing serves me");
  add("class without server or application ID", guid, {L"Class has no server and no application ID: "});
  guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid, L"AppID", guid);
  reg.SetString(L"AppID\\" + guid, L"", L"Its application");
  add("class served through its application ID", guid, {});
  guid = NewGuid();
  reg.SetString(L"CLSID\\" + guid + L"\\TreatAs", L"", registered);
  add("class emulated by another", guid, {});

  // ProgIDs left behind.
  const std::wstring prefix = L"Vantrel.Leftover" + NewGuid().substr(1, 8);
  const std::wstring goneClass = NewGuid();
  reg.SetString(prefix + L".Gone.1\\CLSID", L"", goneClass);
  add("ProgID of a class that is gone", goneClass,
      {L"ProgID names a class that is not registered: " + prefix + L".Gone.1"});
  const std::wstring currentClass = NewClass(reg, L"C", L"ProgID", prefix + L".Current.2");
  reg.SetString(prefix + L".Current.2\\CLSID", L"", currentClass);
  reg.SetString(prefix + L".Current\\CLSID", L"", currentClass);
  reg.SetString(prefix + L".Current\\CurVer", L"", prefix + L".Current.2");
  add("version-independent ProgID whose CurVer exists", currentClass, {});
  const std::wstring staleClass = NewClass(reg, L"C2", L"ProgID", prefix + L".Stale.1");
  reg.SetString(prefix + L".Stale.1\\CLSID", L"", staleClass);
  reg.SetString(prefix + L".Stale\\CLSID", L"", staleClass);
  reg.SetString(prefix + L".Stale\\CurVer", L"", prefix + L".Stale.9");
  add("version-independent ProgID whose CurVer is gone", staleClass, {L"CurVer names no ProgID: " + prefix + L".Stale.9"});

  // Type libraries and interfaces the catalogs leave out.
  const std::wstring noVersion = NewGuid(), onlyFlags = NewGuid();
  reg.CreateKey(L"TypeLib\\" + noVersion);
  reg.SetString(L"TypeLib\\" + onlyFlags + L"\\HELPDIR", L"", L"C:\\help");
  add("type library without versions", noVersion, {L"Type library has no version: "});
  add("type library whose keys are no version", onlyFlags, {L"Type library has no version: "});
  const std::wstring unnamedProxy = NewGuid(), unnamedEmpty = NewGuid();
  reg.SetString(L"Interface\\" + unnamedProxy + L"\\ProxyStubClsid32", L"", L"{00020424-0000-0000-C000-000000000046}");
  reg.CreateKey(L"Interface\\" + unnamedEmpty);
  add("unnamed interface with a proxy", unnamedProxy,
      {L"Interface without a name still has a proxy/stub class or type library: {00020424-0000-0000-C000-000000000046}"});
  add("unnamed interface with nothing", unnamedEmpty, {});

  // A key nobody may read is reported, not left out.
  const std::wstring unreadable = NewClass(reg, L"Locked", L"", L"");
  TUnreadableKey locked(L"CLSID\\" + unreadable);
  add("class key that cannot be read", unreadable, {L"Key cannot be read: " + Trim(SysErrorMessage(ERROR_ACCESS_DENIED))});

  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    if (view == TRegView::rv64 && !Is64BitWindows()) continue;
    SCOPED_TRACE(RegViewBits(view));
    const TRegistrationProblems problems = CheckRegistrations(view, Environment());
    for (const TCase& c : cases) EXPECT_EQ(ProblemsOf(problems, c.Guid), c.Expected) << c.Label;
    // A ProgID's problem names the ProgID and the key that holds it.
    const auto gone = std::find_if(problems.begin(), problems.end(),
                                   [&](const TRegistrationProblem& AProblem) { return AProblem.GUID == goneClass; });
    ASSERT_NE(gone, problems.end());
    EXPECT_EQ(gone->Name, prefix + L".Gone.1");
    EXPECT_EQ(gone->Key, prefix + L".Gone.1");
    EXPECT_EQ(gone->Catalog, TObjectType::otCLSID);
  }
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
  // A ProgID left behind: its name and the class it names, in the file's columns.
  const std::string progId = "Vantrel.Leftover" + WideToCodePage(NewGuid().substr(1, 8), CP_ACP);
  const std::wstring gone = NewGuid();
  reg.SetString(CodePageToWide(progId, CP_ACP) + L"\\CLSID", L"", gone);
  EXPECT_EQ(RunCommandLineExport({L"/SP"}, temp.Path(), report, view), TExportOutcome::Succeeded);
  EXPECT_NE(ReadFileBytes(temp.File(L"Problems.csv"))
                .find("Object Classes;" + progId + ";" + WideToCodePage(gone, CP_ACP) +
                      ";ProgID names a class that is not registered;" + progId + "\r\n"),
            std::string::npos);
  if (Is64BitWindows()) {
    EXPECT_EQ(RunCommandLineExport({L"-sp"}, temp.Path(), report, TRegView::rv32), TExportOutcome::Succeeded);
    EXPECT_EQ(ReadFileBytes(temp.File(L"Problems.csv")).find(line), std::string::npos);
  }
}
