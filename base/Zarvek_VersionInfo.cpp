#include "base/Zarvek_VersionInfo.h"

#include <windows.h>

#include <vector>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

std::wstring VersionString(const std::vector<BYTE>& AData, const std::wstring& ATranslation, const wchar_t* AKey) {
  std::wstring path = L"\\StringFileInfo\\" + ATranslation + L"\\" + AKey;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(AData.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
  return TruncateAtNul(std::wstring_view(value, length));
}

std::wstring HexWord(WORD AValue) {
  std::wstring text = IntToHex(AValue);
  return std::wstring(text.size() < 4 ? 4 - text.size() : 0, L'0') + text;
}

}  // namespace

bool ReadFileVersionInfo(const std::wstring& AFileName, TVersionInfo& AInfo) {
  AInfo = TVersionInfo();
  AInfo.FileName = AFileName;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(AFileName.c_str(), &handle);
  if (size == 0) return false;
  std::vector<BYTE> data(size, 0);
  if (!GetFileVersionInfoW(AFileName.c_str(), 0, size, data.data())) return false;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  AInfo.Major = HIWORD(fixed->dwFileVersionMS);
  AInfo.Minor = LOWORD(fixed->dwFileVersionMS);
  AInfo.Release = HIWORD(fixed->dwFileVersionLS);
  AInfo.Build = LOWORD(fixed->dwFileVersionLS);
  AInfo.ProductMajor = HIWORD(fixed->dwProductVersionMS);
  AInfo.ProductMinor = LOWORD(fixed->dwProductVersionMS);
  AInfo.ProductRelease = HIWORD(fixed->dwProductVersionLS);
  AInfo.ProductBuild = LOWORD(fixed->dwProductVersionLS);
  // The flags word as it is, without the mask: what the file says it is.
  AInfo.PreReleaseBuild = (fixed->dwFileFlags & VS_FF_PRERELEASE) != 0;
  AInfo.DebugBuild = (fixed->dwFileFlags & VS_FF_DEBUG) != 0;
  AInfo.PrivateBuild = (fixed->dwFileFlags & VS_FF_PRIVATEBUILD) != 0;

  std::wstring translation = L"040904E4";
  WORD* pair = nullptr;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair), &length) &&
      pair && length >= 2 * sizeof(WORD)) {
    translation = HexWord(pair[0]) + HexWord(pair[1]);
  }
  AInfo.ProductVersionText = VersionString(data, translation, L"ProductVersion");
  AInfo.FileVersionText = VersionString(data, translation, L"FileVersion");
  AInfo.Description = VersionString(data, translation, L"FileDescription");
  AInfo.Copyright = VersionString(data, translation, L"LegalCopyright");
  AInfo.Trademarks = VersionString(data, translation, L"LegalTrademarks");
  AInfo.Comments = VersionString(data, translation, L"Comments");
  AInfo.SpecialBuild = VersionString(data, translation, L"SpecialBuild");
  AInfo.ProductName = VersionString(data, translation, L"ProductName");
  AInfo.CompanyName = VersionString(data, translation, L"CompanyName");
  AInfo.InternalName = VersionString(data, translation, L"InternalName");
  AInfo.OriginalFilename = VersionString(data, translation, L"OriginalFileName");

  AInfo.ProductVersion = UIntToStr(AInfo.ProductMajor) + L"." + UIntToStr(AInfo.ProductMinor) + L"." +
                         UIntToStr(AInfo.ProductRelease);
  AInfo.FileVersion = UIntToStr(AInfo.Major) + L"." + UIntToStr(AInfo.Minor) + L"." + UIntToStr(AInfo.Release) +
                      L"." + UIntToStr(AInfo.Build);
  AInfo.BuildTimestamp = VersionString(data, translation, L"BuildTimestamp");
  if (AInfo.PreReleaseBuild) {
    AInfo.FileVersion += L" BETA";
    if (AInfo.Build != 0) AInfo.FileVersion += L" " + UIntToStr(AInfo.Build);
  }
  return true;
}

TVersionInfo& ExeVersionInfo() {
  static TVersionInfo info = [] {
    TVersionInfo own;
    ReadFileVersionInfo(ModuleFileName(nullptr), own);
    return own;
  }();
  return info;
}

void LoadExeVersionInfo() { ExeVersionInfo(); }

}  // namespace vantrel
