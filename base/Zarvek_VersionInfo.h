// The version resource of a file, and of the running program.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// What a file's version resource says about it.
struct TVersionInfo {
  std::wstring FileName;
  std::wstring FileVersion;     // "major.minor.release.build", with " BETA [build]" for pre-releases
  std::wstring ProductVersion;  // "major.minor.release"
  std::wstring FileVersionText;
  std::wstring ProductVersionText;
  std::wstring ProductName;
  std::wstring CompanyName;
  std::wstring Description;
  std::wstring Comments;
  std::wstring Copyright;
  std::wstring Trademarks;
  std::wstring InternalName;
  std::wstring OriginalFilename;
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t Release = 0;
  uint32_t Build = 0;
  uint32_t ProductMajor = 0;
  uint32_t ProductMinor = 0;
  uint32_t ProductRelease = 0;
  uint32_t ProductBuild = 0;
  std::wstring SpecialBuild;
  bool PreReleaseBuild = false;
  bool DebugBuild = false;
  bool PrivateBuild = false;
  std::wstring BuildTimestamp;
};

// Reads the version resource of a file; false (and empty texts) when it has none.
bool ReadFileVersionInfo(const std::wstring& AFileName, TVersionInfo& AInfo);

// The version resource of the running executable. It is read on first use; the program start
// calls LoadExeVersionInfo so that this happens before any window exists.
TVersionInfo& ExeVersionInfo();
void LoadExeVersionInfo();

}  // namespace vantrel
