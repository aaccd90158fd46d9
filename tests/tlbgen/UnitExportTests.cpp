// The /SU switch inside the process: the record built for a source, the unit file it writes, and
// the messages of its failures.
#include <gtest/gtest.h>

#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "typelib/TypeLibLoader.h"
#include "generators/UnitExport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const wchar_t kStdOleGuid[] = L"{00020430-0000-0000-C000-000000000046}";

// The default value of a key read the plain way, for expectations independent of the program.
std::wstring RawDefault(const std::wstring& AKey) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, AKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  LONG result = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? std::wstring(buffer) : L"";
}

std::vector<std::wstring> RawSubkeys(const std::wstring& AKey) {
  std::vector<std::wstring> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, AKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// The unit file of the Shapes fixture opened as a file: the expected text with the header of a
// record that holds only the file's path.
std::string ExpectedShapesFile(const std::wstring& APath) {
  TStringList lines = ReadExpectedLines(L"tests\\tlbgen\\expected\\Shapes.pas");
  lines[0] = L"// typelib filename: " + APath;
  lines[2] = L"// uid: ";
  lines[3] = L"// version: 0.0";
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  return "\xEF\xBB\xBF" + WideToCodePage(text, CP_UTF8);
}

struct TReports {
  std::vector<std::wstring> Messages;
  std::function<void(const std::wstring&)> Reporter() {
    return [this](const std::wstring& AText) { Messages.push_back(AText); };
  }
};

}  // namespace

TEST(UnitSource, FileIsAnEmptyRecordWithTheFullPath) {
  TTempDir temp;
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(temp.Path().c_str());
  TObjectData data = UnitSourceRecord(L"sub\\lib.tlb");
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(data.Server, temp.Path() + L"sub\\lib.tlb");
  EXPECT_EQ(data.TypeLib, L"");
  EXPECT_EQ(data.Name, L"");
  EXPECT_EQ(data.MajorVersion, 0u);
  EXPECT_EQ(data.MinorVersion, 0u);
}

TEST(UnitSource, RegisteredLibraryIsItsCatalogEntryWithDetails) {
  const std::wstring key = std::wstring(L"TypeLib\\") + kStdOleGuid;
  const std::vector<std::wstring> versions = RawSubkeys(key);
  ASSERT_FALSE(versions.empty());
  // Spelled in lower case on the command line, the GUID is the registry's spelling in the record.
  TObjectData data = UnitSourceRecord(LowerCaseAscii(kStdOleGuid));
  EXPECT_EQ(data.GUID, kStdOleGuid);
  EXPECT_EQ(data.TypeLib, kStdOleGuid);
  EXPECT_EQ(data.CLSID, kStdOleGuid);
  EXPECT_EQ(data.Typ, TObjectType::otTypeLib);
  const std::wstring version = *HighestVersionKey(versions);
  EXPECT_EQ(data.Name, RawDefault(key + L"\\" + version));
  // The file registered for the platform of the process's view: win64 before win32 for a 64-bit one.
  std::wstring file;
  if (ProcessRegView() == TRegView::rv64) file = RawDefault(key + L"\\" + version + L"\\0\\win64");
  if (file.empty()) file = RawDefault(key + L"\\" + version + L"\\0\\win32");
  EXPECT_EQ(data.Server, file);
  uint32_t major = 0, minor = 0;
  SplitVersion(version, major, minor);
  EXPECT_EQ(data.MajorVersion, major);
  EXPECT_EQ(data.MinorVersion, minor);
}

TEST(UnitSource, ExplicitVersionTakesTheKeyOfThatVersion) {
  TRegistryFixture reg;
  const std::wstring guid = NewGuid();
  const std::wstring key = L"TypeLib\\" + guid;
  reg.SetString(key + L"\\1.0", L"", L"Old library");
  reg.SetString(key + L"\\1.0\\0\\win32", L"", L"C:\\old.tlb");
  reg.SetString(key + L"\\2.5", L"", L"New library");
  reg.SetString(key + L"\\2.5\\0\\win32", L"", L"C:\\new.tlb");
  reg.SetString(key + L"\\c.1", L"", L"Twelve");
  reg.SetString(key + L"\\c.1\\0\\win32", L"", L"C:\\twelve.tlb");

  // Without a version, the highest: 12.1, whose key is c.1.
  TObjectData highest = UnitSourceRecord(guid);
  EXPECT_EQ(highest.Name, L"Twelve");
  EXPECT_EQ(highest.Server, L"C:\\twelve.tlb");
  EXPECT_EQ(highest.MajorVersion, 12u);
  EXPECT_EQ(highest.MinorVersion, 1u);

  struct Case {
    const wchar_t* version;
    const wchar_t* name;
    const wchar_t* server;
    uint32_t major, minor;
  } cases[] = {
      {L"1.0", L"Old library", L"C:\\old.tlb", 1, 0},
      {L"2.5", L"New library", L"C:\\new.tlb", 2, 5},
      {L"c.1", L"Twelve", L"C:\\twelve.tlb", 12, 1},
      {L"C.1", L"Twelve", L"C:\\twelve.tlb", 12, 1},
      // A version without a key: asked of the registry as given, with no file to fall back to.
      {L"3.0", nullptr, L"", 3, 0},
  };
  for (const Case& c : cases) {
    TObjectData chosen = UnitSourceRecord(guid + L":" + c.version);
    EXPECT_EQ(chosen.Name, c.name ? std::wstring(c.name) : guid) << WideToCodePage(c.version, CP_UTF8);
    EXPECT_EQ(chosen.Server, c.server) << WideToCodePage(c.version, CP_UTF8);
    EXPECT_EQ(chosen.MajorVersion, c.major) << WideToCodePage(c.version, CP_UTF8);
    EXPECT_EQ(chosen.MinorVersion, c.minor) << WideToCodePage(c.version, CP_UTF8);
    EXPECT_EQ(chosen.TypeLib, guid);
  }
}

TEST(UnitSource, RegisteredLibraryIsReadInTheChosenView) {
  TRegistryFixture reg;
  const std::wstring guid = NewGuid(), key = L"TypeLib\\" + guid;
  reg.SetBinary(key + L"\\1.0", L"", {1, 2});  // a name that is no text
  reg.SetString(key + L"\\1.0\\0\\win32", L"", L"C:\\lib32.tlb");
  reg.SetString(key + L"\\1.0\\0\\win64", L"", L"C:\\lib64.tlb");
  for (const std::wstring& source : {guid, guid + L":1.0"}) {
    TObjectData thirtyTwo = UnitSourceRecord(source, TRegView::rv32);
    EXPECT_EQ(thirtyTwo.Name, guid);
    EXPECT_EQ(thirtyTwo.Server, L"C:\\lib32.tlb");
    EXPECT_EQ(UnitSourceRecord(source, TRegView::rv64).Server, L"C:\\lib64.tlb");
  }
}

TEST(UnitSource, MalformedSourcesRaiseConversionErrors) {
  struct TCase {
    const wchar_t* Source;
    const wchar_t* Message;
  } cases[] = {
      {L"{bad}", L"'{bad}' is not a valid GUID value"},
      {L"{00020430-0000-0000-C000-000000000046", L"'{00020430-0000-0000-C000-000000000046' is not a valid GUID value"},
      {L"{00020430-0000-0000-C000-000000000046}:x", L"'x' is not a valid type library version"},
      {L"{00020430-0000-0000-C000-000000000046}:2", L"'2' is not a valid type library version"},
      {L"{00020430-0000-0000-C000-000000000046}:-1.0", L"'-1.0' is not a valid type library version"},
      {L"{00020430-0000-0000-C000-000000000046}:1.0.5", L"'1.0.5' is not a valid type library version"},
      {L"{00020430-0000-0000-C000-000000000046}:10000.0", L"'10000.0' is not a valid type library version"},
  };
  for (const TCase& c : cases) {
    try {
      UnitSourceRecord(c.Source);
      ADD_FAILURE() << WideToCodePage(c.Source, CP_UTF8);
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST(UnitFile, NameFromTheLibraryStaysInTheCurrentFolder) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"stdole", L"stdole.pas"},     {L"..\\..\\evil", L".._.._evil.pas"}, {L"a/b:c*d?e\"f<g>h|i", L"a_b_c_d_e_f_g_h_i.pas"},
      {L"", L"Unit.pas"},             {L"  ", L"Unit.pas"},                 {L"name.", L"name.pas"},
      {L"CON", L"CON_.pas"},          {L"lpt1", L"lpt1_.pas"},              {L"tab\there", L"tab_here.pas"},
  };
  for (const auto& [name, file] : cases) EXPECT_EQ(DefaultUnitFileName(name), file);
}

TEST(UnitFile, Utf8WithByteOrderMarkAndCrLfAfterEveryLine) {
  TLineList lines;
  lines.Add(L"unit Gr\u00FC\u00DFe;");
  lines.Add(L"");
  lines.Add(L"end.");
  EXPECT_EQ(FormatUnitFile(lines), "\xEF\xBB\xBFunit Gr\xC3\xBC\xC3\x9F" "e;\r\n\r\nend.\r\n");
  EXPECT_EQ(FormatUnitFile(TLineList()), "\xEF\xBB\xBF");
}

TEST(RunUnitExport, WithoutTheSwitchNothingHappens) {
  TReports reports;
  EXPECT_EQ(RunUnitExport({}, reports.Reporter()), TExportOutcome::NoSwitch);
  EXPECT_EQ(RunUnitExport({L"/SA", L"SU", L"/SUX", L"x.tlb"}, reports.Reporter()), TExportOutcome::NoSwitch);
  EXPECT_TRUE(reports.Messages.empty());
}

TEST(RunUnitExport, MissingSourceIsAFailureWithItsMessage) {
  for (const TStringList& params : {TStringList{L"/SU"}, TStringList{L"-su", L"/ST"}, TStringList{L"/Su", L"  "}}) {
    TReports reports;
    EXPECT_EQ(RunUnitExport(params, reports.Reporter()), TExportOutcome::Failed);
    ASSERT_EQ(reports.Messages.size(), 1u);
    EXPECT_NE(reports.Messages[0].find(L"/SU"), std::wstring::npos);
  }
}

TEST(RunUnitExport, WritesTheUnitOfAFile) {
  TTempDir temp;
  TReports reports;
  const std::wstring source = FixturePath(L"Shapes.tlb");
  ASSERT_EQ(RunUnitExport({L"/su", source, temp.File(L"shapes.pas")}, reports.Reporter()), TExportOutcome::Succeeded);
  EXPECT_TRUE(reports.Messages.empty());
  EXPECT_EQ(ReadFileBytes(temp.File(L"shapes.pas")), ExpectedShapesFile(source));
}

TEST(RunUnitExport, DefaultFileIsTheLibraryNameInTheCurrentFolder) {
  TTempDir temp;
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(temp.Path().c_str());
  TReports reports;
  TExportOutcome outcome = RunUnitExport({L"-SU", kStdOleGuid}, reports.Reporter());
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(outcome, TExportOutcome::Succeeded);
  const std::string text = ReadFileBytes(temp.File(L"stdole.pas"));
  const TObjectData data = UnitSourceRecord(kStdOleGuid);
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find(WideToCodePage(L"// typelib filename: " + data.Server + L"\r\n\r\n// uid: " + kStdOleGuid +
                                         L"\r\n// version: " + UIntToStr(data.MajorVersion) + L"." +
                                         UIntToStr(data.MinorVersion) + L"\r\n",
                                     CP_UTF8)),
            std::string::npos);
  EXPECT_NE(text.find("\r\nunit stdole;\r\n"), std::string::npos);
}

TEST(RunUnitExport, FailuresReportTheViewersMessageAndWriteNothing) {
  TTempDir temp;
  {
    TReports reports;
    EXPECT_EQ(RunUnitExport({L"/SU", temp.File(L"missing.tlb"), temp.File(L"out.pas")}, reports.Reporter()),
              TExportOutcome::Failed);
    EXPECT_EQ(reports.Messages, std::vector<std::wstring>{LoadErrorText(E_NOTIMPL)});
  }
  {
    WriteFileText(temp.File(L"text.tlb"), "not a library");
    TReports reports;
    EXPECT_EQ(RunUnitExport({L"/SU", temp.File(L"text.tlb"), temp.File(L"out.pas")}, reports.Reporter()),
              TExportOutcome::Failed);
    EXPECT_EQ(reports.Messages, std::vector<std::wstring>{LoadErrorText(TYPE_E_CANTLOADLIBRARY)});
  }
  {
    TReports reports;
    EXPECT_EQ(RunUnitExport({L"/SU", L"{bad}"}, reports.Reporter()), TExportOutcome::Failed);
    EXPECT_EQ(reports.Messages, std::vector<std::wstring>{L"'{bad}' is not a valid GUID value"});
  }
  {
    TReports reports;
    const std::wstring out = temp.File(L"no\\such\\folder\\out.pas");
    EXPECT_EQ(RunUnitExport({L"/SU", FixturePath(L"Shapes.tlb"), out}, reports.Reporter()), TExportOutcome::Failed);
    ASSERT_EQ(reports.Messages.size(), 1u);
    EXPECT_NE(reports.Messages[0].find(out), std::wstring::npos);
  }
  EXPECT_FALSE(FileExists(temp.File(L"out.pas")));
}
