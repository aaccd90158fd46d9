#include "tests/tlbgen/GeneratorTestSupport.h"

#include <gtest/gtest.h>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"
#include "typelib/TypeLibSnapshot.h"

namespace vantrel::test {

TGenerated GenerateUnit(ITypeLib* ALib, const TObjectData& AData) {
  TLineList lines;
  TGenerated result;
  GenerateImportUnit(AData, ALib, lines, result.UnitName);
  result.Lines = lines.ToStringList();
  return result;
}

TGenerated GenerateUnit(TFakeLibrary& ALib, const TObjectData& AData) {
  TGenerated result = GenerateUnit(ALib.Lib(), AData);
  // Whatever a library answers, failures and odd texts included, its record replays to the same
  // unit: the viewer only ever sees the replay.
  TSnapshotContent replayed = ReplayTypeLibrary(RecordTypeLibrary(ALib.Lib()));
  EXPECT_EQ(Joined(GenerateUnit(replayed.Library.get(), AData).Lines), Joined(result.Lines)) << "replayed";
  EXPECT_EQ(ALib.Outstanding(), 0) << "attribute records or descriptions not released";
  EXPECT_EQ(ALib.BadReleases(), 0) << "records released that were not handed out";
  EXPECT_TRUE(ALib.ReferencesBalanced()) << "references to the library's objects not balanced";
  return result;
}

TStringList Declarations(const TStringList& ALines) {
  if (ALines.size() < 17) return {};
  return TStringList(ALines.begin() + 13, ALines.end() - 4);
}

TStringList ReadExpectedLines(const std::wstring& ARelativePath) {
  std::wstring text = CodePageToWide(ReadFileBytes(SourcePath(ARelativePath)), CP_UTF8);
  TStringList lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::wstring ExpectedMessageLine(HRESULT ACode) {
  wchar_t buffer[1024] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(ACode), 0, buffer, 1024, nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  if (text.empty()) return L"(Error code: 0x" + IntToHex(static_cast<uint32_t>(ACode)) + L")";
  return text;
}

std::string Joined(const TStringList& ALines) {
  std::wstring text;
  for (const std::wstring& line : ALines) text += line + L"\n";
  return WideToCodePage(text, CP_UTF8);
}

std::wstring FixturePath(const std::wstring& AName) { return BinaryPath(L"tests\\tlbgen\\fixtures\\" + AName); }

TOtherViewLibrary::TOtherViewLibrary(TRegistryFixture& AReg)
    : FName(L"vantrel-" + NewGuid().substr(1, 8) + L".tlb"),
      FGuid(NewGuid()),
      FCopy(FixturePath(L"Shapes.tlb"), ViewSystemDirectoryPath(OtherRegView()) + FName) {
  const wchar_t* platform = OtherRegView() == TRegView::rv64 ? L"win64" : L"win32";
  AReg.SetString(L"TypeLib\\" + FGuid + L"\\1.0", L"", L"Other view only");
  AReg.SetString(L"TypeLib\\" + FGuid + L"\\1.0\\0\\" + platform, L"", SystemDirectoryPath() + FName);
}

const wchar_t* const kWineLibraries[25] = {
    L"stdole2.tlb",  L"stdole32.tlb", L"activeds.tlb", L"mshtml.tlb",   L"atl.dll",      L"comsvcs.dll",
    L"hnetcfg.dll",  L"ieframe.dll",  L"jscript.dll",  L"msi.dll",      L"msxml3.dll",   L"msxml6.dll",
    L"oleacc.dll",   L"quartz.dll",   L"scrrun.dll",   L"shdocvw.dll",  L"shell32.dll",  L"taskschd.dll",
    L"uiautomationcore.dll", L"vbscript.dll", L"winhttp.dll", L"wmp.dll", L"wuapi.dll",  L"msscript.ocx",
    L"wshom.ocx",
};

std::vector<std::wstring> WineLibraryFiles() {
  std::vector<std::wstring> folders = {SystemDirectoryPath()};
  const std::wstring native = WindowsDirectoryPath() + L"sysnative\\";
  if (DirectoryExists(native)) folders.push_back(native);
  std::vector<std::wstring> files;
  for (const std::wstring& folder : folders) {
    for (const wchar_t* name : kWineLibraries) {
      if (FileExists(folder + name)) files.push_back(folder + name);
    }
  }
  return files;
}

TRegisteredLibrary::TRegisteredLibrary(const std::wstring& APath) {
  TComPtr<ITypeLib> lib;
  FResult = LoadTypeLibEx(APath.c_str(), REGKIND_REGISTER, lib.put());
  if (FAILED(FResult)) return;
  TLIBATTR* attr = nullptr;
  FResult = lib->GetLibAttr(&attr);
  if (FAILED(FResult)) return;
  FAttr = *attr;
  lib->ReleaseTLibAttr(attr);
}

TRegisteredLibrary::~TRegisteredLibrary() {
  if (SUCCEEDED(FResult)) UnRegisterTypeLib(FAttr.guid, FAttr.wMajorVerNum, FAttr.wMinorVerNum, FAttr.lcid, FAttr.syskind);
}

std::wstring TRegisteredLibrary::RegisteredPath() const {
  BSTR path = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(FAttr.guid, FAttr.wMajorVerNum, FAttr.wMinorVerNum, FAttr.lcid, &path)) || !path) {
    return std::wstring();
  }
  std::wstring text(path);
  SysFreeString(path);
  return text;
}

}  // namespace vantrel::test
