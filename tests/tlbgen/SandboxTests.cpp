// The reader's sandbox: the reader runs with the token and job it was meant to get, what a reader
// taken over by a hostile library tries is refused where the platform enforces it, real libraries
// still read, and a sandbox that cannot be applied refuses the read unless the caller allows it.
//
// Wine 8 records and enforces only part of the sandbox: it deletes the privileges and makes the
// Administrators group deny-only, puts the reader into its job and ends it with the job, but it
// keeps the integrity level, adds no restricting SIDs, answers the job's limits with zeros and its
// UI restrictions not at all, and enforces neither. Where Wine is measured to leave a restriction
// out, the check accepts exactly what Wine answers and says so; everywhere else it is strict.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "typelib/ReaderSandbox.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

using TReport = std::map<std::wstring, std::wstring>;

// The faulty reader describing its sandbox (AFault "describe") or also trying to break out of it
// ("escape") into a report file, for as long as the object lives. The report's folder is labelled
// low integrity: the reader may write there and nowhere else.
class TSandboxProbe {
 public:
  explicit TSandboxProbe(const wchar_t* AFault) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;OICI;NW;;;LW)", SDDL_REVISION_1, &descriptor,
                                                             nullptr)) {
      PACL sacl = nullptr;
      BOOL present = FALSE, defaulted = FALSE;
      GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted);
      std::wstring folder = FReports.Path();
      SetNamedSecurityInfoW(folder.data(), SE_FILE_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                            sacl);
      LocalFree(descriptor);
    }
    SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", AFault);
    SetEnvironmentVariableW(L"VANTREL_TEST_SANDBOX_REPORT", ReportFile().c_str());
    SetEnvironmentVariableW(L"VANTREL_TEST_SANDBOX_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
    std::wstring target = FOutside.Path();
    target.pop_back();
    SetEnvironmentVariableW(L"VANTREL_TEST_SANDBOX_TARGET", target.c_str());
  }
  ~TSandboxProbe() {
    for (const wchar_t* name : {L"VANTREL_TEST_READER_FAULT", L"VANTREL_TEST_SANDBOX_REPORT",
                                L"VANTREL_TEST_SANDBOX_PARENT", L"VANTREL_TEST_SANDBOX_TARGET"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }
  TSandboxProbe(const TSandboxProbe&) = delete;
  TSandboxProbe& operator=(const TSandboxProbe&) = delete;

  static TTypeLibReadOptions Options() {
    TTypeLibReadOptions options;
    options.Program = WindowsPath(kFaultyReader);
    return options;
  }
  std::wstring ReportFile() const { return FReports.File(L"report.txt"); }
  std::wstring EscapedFile() const { return FOutside.File(L"escaped.txt"); }
  bool Reported() const { return FileExists(ReportFile()); }
  // The report's lines "name=value" by name; empty when the reader wrote none.
  TReport Report() const {
    TReport report;
    if (!Reported()) return report;
    const std::wstring text = CodePageToWide(ReadFileBytes(ReportFile()), CP_UTF8);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring line = text.substr(start, end - start);
      const size_t equals = line.find(L'=');
      if (equals != std::wstring::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
      start = end + 1;
    }
    return report;
  }

 private:
  TTempDir FReports, FOutside;
};

std::string Utf8(const std::wstring& AText) { return WideToCodePage(AText, CP_UTF8); }

// AReport[AName] is AExpected, on every platform.
void ExpectRecorded(const TReport& AReport, const std::wstring& AName, const std::wstring& AExpected) {
  auto found = AReport.find(AName);
  ASSERT_NE(found, AReport.end()) << Utf8(AName);
  EXPECT_EQ(found->second, AExpected) << Utf8(AName);
}

// AReport[AName] is AExpected; under Wine, AWineValue (what Wine was measured to answer, having
// left the restriction out; "unknown" stands for any reason) passes too, with a note.
void ExpectApplied(const TReport& AReport, const std::wstring& AName, const std::wstring& AExpected,
                   const std::wstring& AWineValue) {
  auto found = AReport.find(AName);
  ASSERT_NE(found, AReport.end()) << Utf8(AName);
  if (found->second == AExpected) return;
  const bool wineValue =
      found->second == AWineValue || (AWineValue == L"unknown" && found->second.compare(0, 9, L"unknown (") == 0);
  if (UnderWine() && wineValue) {
    std::printf("[   NOTE   ] %s=%s: Wine leaves it out (%s elsewhere)\n", Utf8(AName).c_str(),
                Utf8(found->second).c_str(), Utf8(AExpected).c_str());
    return;
  }
  ADD_FAILURE() << Utf8(AName) << "=" << Utf8(found->second) << ", expected " << Utf8(AExpected);
}

// An attempt to break out: refused, or under Wine, which enforces none of these, allowed with a note.
void ExpectRefused(const TReport& AReport, const std::wstring& AName) {
  auto found = AReport.find(AName);
  ASSERT_NE(found, AReport.end()) << Utf8(AName);
  if (found->second.compare(0, 6, L"denied") == 0) return;
  if (UnderWine() && found->second == L"allowed") {
    std::printf("[   NOTE   ] %s: allowed under Wine (only Windows enforces it)\n", Utf8(AName).c_str());
    return;
  }
  ADD_FAILURE() << Utf8(AName) << "=" << Utf8(found->second);
}

// This process's integrity level (its RID), which Wine leaves the reader at.
std::wstring OwnIntegrity() {
  THandle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
  BYTE data[256];
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenIntegrityLevel, data, sizeof(data), &size)) return L"?";
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(data)->Label.Sid;
  return std::to_wstring(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1u));
}

std::wstring Hex(DWORD AValue) { return L"0x" + IntToHex(AValue); }

// The restrictions a sandboxed reader reports: those Wine records strictly, the others as
// ExpectApplied says.
void ExpectSandboxed(const TReport& AReport) {
  ExpectApplied(AReport, L"integrity", std::to_wstring(SECURITY_MANDATORY_LOW_RID), OwnIntegrity());
  ExpectApplied(AReport, L"restricted", L"yes", L"no");
  ExpectRecorded(AReport, L"privileges", L"SeChangeNotifyPrivilege");
  ExpectRecorded(AReport, L"administrators", L"no");
  ExpectRecorded(AReport, L"job", L"yes");
  ExpectApplied(AReport, L"job.limits", Hex(kReaderJobLimits), L"0x0");
  ExpectApplied(AReport, L"job.activeprocesses", L"1", L"0");
  ExpectApplied(AReport, L"job.processmemory", std::to_wstring(kReaderMemoryLimit), L"0");
  ExpectApplied(AReport, L"job.ui", Hex(kReaderUIRestrictions), L"unknown");
}

TObjectData FileRecord(const std::wstring& APath) {
  TObjectData data;
  data.Server = APath;
  return data;
}

// The unit of the library loaded in this process, to compare a read with.
std::string LoadedUnit(const std::wstring& APath, const TObjectData& AData) {
  TComPtr<ITypeLib> loaded;
  if (FAILED(LoadTypeLibraryFile(APath, loaded))) return "(cannot be loaded)";
  return Joined(GenerateUnit(loaded.get(), AData).Lines);
}

// Puts AText on the clipboard, for a reader to try to read.
bool SetClipboardText(const std::wstring& AText) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (AText.size() + 1) * sizeof(wchar_t));
  if (memory) {
    std::memcpy(GlobalLock(memory), AText.c_str(), (AText.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  }
  CloseClipboard();
  return memory != nullptr;
}

// What failed, as the sandbox names it, when the platform refused AWhat.
std::wstring Refused(const std::wstring& AWhat) {
  std::wstring denied = Trim(SysErrorMessage(ERROR_ACCESS_DENIED));
  while (!denied.empty() && denied.back() == L'.') denied.pop_back();
  return AWhat + L": " + denied;
}

// The message of a read the sandbox refused, AWhy having failed.
std::wstring Refusal(const std::wstring& APath, const std::wstring& AWhy) {
  return L"Cannot read the type library \"" + APath + L"\": the sandbox of the reading process cannot be applied (" +
         AWhy + L"), and the library is not read without it.";
}

// Makes every sandbox fail at one step while it lives.
class TSandboxFault {
 public:
  explicit TSandboxFault(TSandboxStep AStep) { SetReaderSandboxFault(AStep); }
  ~TSandboxFault() { SetReaderSandboxFault(TSandboxStep::ssNone); }
  TSandboxFault(const TSandboxFault&) = delete;
  TSandboxFault& operator=(const TSandboxFault&) = delete;
};

}  // namespace

TEST(ReaderSandbox, AReaderTryingToBreakOutIsHeldAndStillReadsTheLibrary) {
  TComInit com;
  const std::wstring secret = L"clipboard text the reader must not see";
  ASSERT_TRUE(SetClipboardText(secret));
  TSandboxProbe probe(L"escape");
  const std::wstring path = FixturePath(L"Shapes.tlb");
  TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), TSandboxProbe::Options());
  ASSERT_TRUE(read.Library) << Utf8(read.Message);
  EXPECT_EQ(Joined(GenerateUnit(read.Library.get(), FileRecord(path)).Lines), LoadedUnit(path, FileRecord(path)));

  const TReport report = probe.Report();
  ASSERT_FALSE(report.empty()) << "the reader wrote no report";
  ExpectSandboxed(report);
  // What Wine refuses too: the deleted privilege cannot be enabled again.
  EXPECT_EQ(report.at(L"privilege.debug").compare(0, 6, L"denied"), 0) << Utf8(report.at(L"privilege.debug"));
  for (const wchar_t* attempt : {L"openparent.all", L"openparent.vmwrite", L"writefile", L"startprocess"}) {
    ExpectRefused(report, attempt);
  }
  // The report does not lie about the file, and the clipboard's text stays with this process.
  EXPECT_EQ(FileExists(probe.EscapedFile()), report.at(L"writefile") == L"allowed");
  const std::wstring seen = report.count(L"clipboard.text") ? report.at(L"clipboard.text") : std::wstring();
  if (UnderWine() && seen == secret) {
    std::printf("[   NOTE   ] the clipboard's text: read under Wine (only Windows enforces it)\n");
  } else {
    EXPECT_NE(seen, secret);
  }
}

// Real libraries read into their units through the sandbox: registered in either registry view,
// and the largest Wine installs, read from its file.
TEST(ReaderSandbox, RealLibrariesReadThroughTheSandboxInBothViews) {
  TComInit com;
  const std::wstring shapes = FixturePath(L"Shapes.tlb");
  const TRegisteredLibrary own(shapes);
  ASSERT_EQ(own.Result(), S_OK);
  TObjectData registered;
  wchar_t guid[40] = {};
  StringFromGUID2(own.Attr().guid, guid, 40);
  registered.TypeLib = guid;
  registered.MajorVersion = own.Attr().wMajorVerNum;
  registered.MinorVersion = own.Attr().wMinorVerNum;
  struct TCase {
    TObjectData Data;
    TRegView View;
    std::wstring File;
  };
  std::vector<TCase> cases = {{registered, ProcessRegView(), shapes},
                              {FileRecord(SystemDirectoryPath() + L"mshtml.tlb"), ProcessRegView(),
                               SystemDirectoryPath() + L"mshtml.tlb"}};
  TRegistryFixture reg;
  std::unique_ptr<TOtherViewLibrary> other;
  if (Is64BitWindows()) {
    other = std::make_unique<TOtherViewLibrary>(reg);
    TObjectData data;
    data.TypeLib = other->Guid();
    data.MajorVersion = 1;
    cases.push_back({data, OtherRegView(), shapes});
  }
  for (const TCase& c : cases) {
    const std::string label = Utf8(c.File) + (c.View == TRegView::rv64 ? " (64-bit view)" : " (32-bit view)");
    TSandboxProbe probe(L"describe");
    TTypeLibRead read = ReadTypeLibrary(c.Data, c.View, TSandboxProbe::Options());
    ASSERT_TRUE(read.Library) << label << ": " << Utf8(read.Message);
    EXPECT_EQ(Joined(GenerateUnit(read.Library.get(), c.Data).Lines), LoadedUnit(c.File, c.Data)) << label;
    const TReport report = probe.Report();
    ASSERT_FALSE(report.empty()) << label;
    ExpectSandboxed(report);
  }
}

// The reader started ahead of the next read is sandboxed as one started for it, and serves it.
TEST(ReaderSandbox, TheReaderStartedAheadIsSandboxedToo) {
  TComInit com;
  TSandboxProbe probe(L"describe");
  TTypeLibReadOptions options = TSandboxProbe::Options();
  options.KeepSpare = true;
  PrepareTypeLibReader(options);
  ASSERT_NE(SpareTypeLibReaderId(), 0u);
  const std::wstring path = FixturePath(L"Shapes.tlb");
  TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
  ASSERT_TRUE(read.Library) << Utf8(read.Message);
  EXPECT_EQ(SpareTypeLibReaderId(), 0u);
  const TReport report = probe.Report();
  ASSERT_FALSE(report.empty());
  ExpectSandboxed(report);
}

// A sandbox that fails at any step refuses the read with a message naming the step, and no reader
// runs; a caller that allows it reads without the sandbox, asked once for the read; a reader kept
// ahead is not started at all.
TEST(ReaderSandbox, ASandboxThatCannotBeAppliedRefusesTheReadUnlessTheCallerAllowsIt) {
  TComInit com;
  const std::wstring path = FixturePath(L"Shapes.tlb");
  const struct {
    TSandboxStep Step;
    const wchar_t* What;
  } cases[] = {
      {TSandboxStep::ssToken, L"no restricted token"},
      {TSandboxStep::ssIntegrity, L"the token's integrity level cannot be set to low"},
      {TSandboxStep::ssJob, L"no job object"},
      {TSandboxStep::ssJobLimits, L"the job's limits cannot be set"},
      {TSandboxStep::ssUIRestrictions, L"the job's desktop and clipboard restrictions cannot be set"},
      {TSandboxStep::ssStart, L"the process cannot be started with the restricted token"},
      {TSandboxStep::ssAssign, L"the process cannot be put into its job"},
  };
  for (const auto& c : cases) {
    const std::string label = Utf8(c.What);
    TSandboxFault fault(c.Step);
    {
      TSandboxProbe probe(L"describe");
      TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), TSandboxProbe::Options());
      EXPECT_FALSE(read.Library) << label;
      EXPECT_TRUE(FAILED(read.LoadResult)) << label;
      EXPECT_EQ(read.Message, Refusal(path, Refused(c.What))) << label;
      EXPECT_FALSE(probe.Reported()) << label << ": a reader ran";
    }
    {
      TSandboxProbe probe(L"describe");
      TTypeLibReadOptions options = TSandboxProbe::Options();
      std::vector<std::wstring> asked;
      options.AskUnsandboxed = [&](const std::wstring& AWhy) {
        asked.push_back(AWhy);
        return false;
      };
      TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
      EXPECT_FALSE(read.Library) << label;
      ASSERT_EQ(asked.size(), 1u) << label;
      EXPECT_EQ(asked[0], Refused(c.What)) << label;
      EXPECT_EQ(read.Message, Refusal(path, Refused(c.What))) << label;
      EXPECT_FALSE(probe.Reported()) << label << ": a reader ran";
    }
  }

  // Allowed by the caller: the read goes on without the sandbox, its reader holding every
  // privilege of this process.
  TSandboxFault fault(TSandboxStep::ssAssign);
  TSandboxProbe probe(L"describe");
  TTypeLibReadOptions options = TSandboxProbe::Options();
  int asked = 0;
  options.AskUnsandboxed = [&](const std::wstring&) {
    ++asked;
    return true;
  };
  TTypeLibRead read = ReadTypeLibrary(FileRecord(path), ProcessRegView(), options);
  ASSERT_TRUE(read.Library) << Utf8(read.Message);
  EXPECT_EQ(asked, 1);
  EXPECT_NE(probe.Report().at(L"privileges"), L"SeChangeNotifyPrivilege");

  // A reader kept ahead is sandboxed or not there: preparing one asks nobody.
  options.KeepSpare = true;
  PrepareTypeLibReader(options);
  EXPECT_EQ(SpareTypeLibReaderId(), 0u);
  EXPECT_EQ(asked, 1);
}

// Switched off, the sandbox is neither tried nor asked about.
TEST(ReaderSandbox, SwitchedOffTheReaderRunsWithTheCallersRights) {
  TSandboxProbe probe(L"describe");
  TTypeLibReadOptions options = TSandboxProbe::Options();
  options.Sandbox = false;
  bool asked = false;
  options.AskUnsandboxed = [&](const std::wstring&) { return asked = true; };
  TSandboxFault fault(TSandboxStep::ssToken);
  TTypeLibRead read = ReadTypeLibrary(FileRecord(FixturePath(L"Shapes.tlb")), ProcessRegView(), options);
  ASSERT_TRUE(read.Library) << Utf8(read.Message);
  EXPECT_FALSE(asked);
  EXPECT_NE(probe.Report().at(L"privileges"), L"SeChangeNotifyPrivilege");
}

// The job holds the process from its start and ends it when the job is closed, as it does when the
// program ends first: Wine enforces this one.
TEST(ReaderSandbox, ClosingTheJobEndsTheSandboxedProcess) {
  // The reader waits for a request on a pipe that this test keeps open.
  HANDLE inRead = nullptr, inWrite = nullptr;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  ASSERT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0));
  THandle childIn(inRead), parentIn(inWrite);
  SetHandleInformation(parentIn.get(), HANDLE_FLAG_INHERIT, 0);
  const std::wstring program = WindowsPath(kFaultyReader);
  std::wstring commandLine = L"\"" + program + L"\" /TypeLibReader";
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.get();
  TSandboxedProcess sandboxed;
  SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", L"hang");
  const std::wstring failure = StartSandboxed(
      [&](HANDLE AToken, PROCESS_INFORMATION& AProcess) {
        return CreateProcessAsUserW(AToken, program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                    CREATE_SUSPENDED, nullptr, nullptr, &startup, &AProcess) != FALSE;
      },
      sandboxed);
  SetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", nullptr);
  ASSERT_EQ(failure, L"");
  BOOL inJob = FALSE;
  ASSERT_TRUE(IsProcessInJob(sandboxed.Process.get(), sandboxed.Job.get(), &inJob));
  EXPECT_TRUE(inJob);
  ResumeThread(sandboxed.Thread.get());
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeProcess(sandboxed.Process.get(), &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(STILL_ACTIVE));
  sandboxed.Job.reset();
  EXPECT_EQ(WaitForSingleObject(sandboxed.Process.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
}
